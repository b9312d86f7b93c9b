// The real stream service through a JACK server: a second client receives what it plays.
#include "JackServer.h"
#include "platform/RealServices.h"
#include "stream/StreamTestData.h"

#include <gtest/gtest.h>

#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using test::JackTestClient;
using testdata::StreamBuffer;
using Bytes = std::vector<std::uint8_t>;

class StreamJackTest : public test::JackTest {
  protected:
    JackTestClient tester{"tester"};
    std::unique_ptr<MidiSystem> midi = makeRealMidiSystem();
    std::unique_ptr<MidiStream> streams = makeRealMidiStream(*midi);
    HMIDISTRM handle = 0;

    // Opens a stream at 480 ticks a quarter, queues the buffers and starts it.
    void play(std::initializer_list<StreamBuffer *> buffers) {
        unsigned device = 0;
        ASSERT_EQ(streams->midiStreamOpen(&handle, &device, 1, 0, 0, 0), MMSYSERR_NOERROR);
        MIDIPROPTIMEDIV division{8, 480};
        ASSERT_EQ(streams->midiStreamProperty(handle, &division, MIDIPROP_SET | MIDIPROP_TIMEDIV),
                  0u);
        for (auto *buffer : buffers) {
            ASSERT_EQ(streams->midiOutPrepareHeader(handle, buffer->ready(), 28), 0u);
            ASSERT_EQ(streams->midiStreamOut(handle, &buffer->header, 28), 0u);
        }
        ASSERT_EQ(streams->midiStreamRestart(handle), 0u);
    }
};

TEST_F(StreamJackTest, EveryEventArrivesWithinFiveFramesOfTheFileIntervals) {
    ASSERT_TRUE(tester.ok());
    // Spacings of 3 to 13 ticks that do not repeat with the period, and a tempo change halfway:
    // at 480 ticks a quarter, 50 frames a tick (500000 us a quarter), then 30 (300000).
    const auto delta = [](int i) { return 3 + static_cast<std::uint32_t>(i * 7 % 11); };
    EXPECT_TRUE(test::timedRun(tester, [&] {
        tester.waitReceived(SIZE_MAX, 50ms); // what a spoiled run left behind
        StreamBuffer first, second;
        second.record(0, MEVT_TEMPO << 24 | 300000);
        for (int i = 0; i < 120; ++i)
            (i < 60 ? first : second).note(i ? delta(i) : 288, 0x90, std::uint8_t(i), 100);
        play({&first, &second});
        const auto received = tester.waitReceived(120, 5s);
        for (int tries = 0; tries < 200 && !second.done(); ++tries)
            std::this_thread::sleep_for(5ms); // as the window polls the last buffer
        EXPECT_TRUE(first.done() && second.done());
        EXPECT_EQ(streams->midiStreamClose(handle), 0u);
        for (int i = 1; i < 120 && received.size() == 120; ++i) {
            const auto frames =
                static_cast<std::int32_t>(received[i].frame - received[i - 1].frame);
            if (received[i].bytes != Bytes{0x90, std::uint8_t(i), 100} ||
                std::abs(frames - delta(i) * (i < 60 ? 50.0 : 30.0)) > 5)
                return ::testing::AssertionFailure()
                       << "event " << i << " came " << frames << " frames after the one before";
        }
        return ::testing::AssertionResult(received.size() == 120) << received.size() << " came";
    }));
}

TEST_F(StreamJackTest, PauseAndStopLetNothingQueuedOutAfterThem) {
    ASSERT_TRUE(tester.ok());
    // Notes 5 ticks (5.2 ms) long, 5 ticks apart, ended by a note-on of velocity 0.
    StreamBuffer notes;
    std::vector<Bytes> file;
    for (std::uint8_t key = 1; key <= 100; ++key) {
        notes.note(key == 1 ? 48 : 5, 0x90, key, 100).note(5, 0x90, key, 0);
        file.push_back({0x90, key, 100});
        file.push_back({0x90, key, 0}); // unlike the silencing's note-offs
    }
    play({&notes});
    // What arrives until the control has taken effect must be the file's next messages in
    // order, and, if a note was left sounding, its note-off.
    std::size_t played = 0;
    const auto controlAndCheck = [&](MMRESULT (MidiStream::*control)(HMIDISTRM),
                                     std::size_t silencing) {
        std::this_thread::sleep_for(123ms);
        EXPECT_EQ(((*streams).*control)(handle), 0u);
        auto received = tester.waitReceived(SIZE_MAX, 100ms);
        std::size_t i = 0;
        for (; i < received.size() && played < file.size() && received[i].bytes == file[played];
             ++i)
            ++played;
        const bool sounding = played > 0 && file[played - 1][2] != 0;
        ASSERT_EQ(received.size() - i, silencing + sounding) << "after message " << played;
        if (sounding) { // silenced; the note-off taken back comes again on resuming
            EXPECT_EQ(received[i].bytes, (Bytes{0x80, file[played - 1][1], 0}));
            file.insert(file.begin() + static_cast<std::ptrdiff_t>(played++), received[i].bytes);
        }
    };
    controlAndCheck(&MidiStream::midiStreamPause, 0);
    EXPECT_EQ(streams->midiStreamRestart(handle), 0u);
    controlAndCheck(&MidiStream::midiStreamStop, 32); // all notes and sounds off on 16 channels
    EXPECT_TRUE(notes.done());
    EXPECT_TRUE(tester.waitReceived(1, 100ms).empty());
    EXPECT_EQ(streams->midiStreamClose(handle), 0u);
}

} // namespace
} // namespace parlet
