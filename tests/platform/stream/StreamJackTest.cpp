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
    // Message k: notes 5 ticks (5.2 ms) long, 5 ticks apart, ended by a velocity of 0.
    const auto file = [](std::size_t k) {
        return Bytes{0x90, std::uint8_t(k / 2 + 1), std::uint8_t(k % 2 ? 0 : 100)};
    };
    StreamBuffer notes;
    for (std::size_t k = 0; k < 200; ++k)
        notes.note(k ? 5 : 48, 0x90, file(k)[1], file(k)[2]);
    play({&notes});
    // What arrives until the control has taken effect must be the file's next messages in
    // order, then the silencing: the note-off of a note left sounding, and `allOff` more.
    std::size_t next = 0;
    const unsigned stalls = tester.stalls();
    const auto check = [&](MMRESULT (MidiStream::*control)(HMIDISTRM), std::size_t allOff) {
        std::this_thread::sleep_for(123ms);
        EXPECT_EQ(((*streams).*control)(handle), 0u);
        const std::uint32_t at = tester.frameNow(); // all goes out within one period of it
        const auto received = tester.waitReceived(SIZE_MAX, 100ms);
        for (const auto &message : received) // unless the server fell behind in a stall
            EXPECT_TRUE(tester.stalls() > stalls ||
                        static_cast<std::int32_t>(message.frame - at) <
                            std::int32_t{2 * test::JackServer::periodFrames});
        std::size_t i = 0;
        for (; i < received.size() && received[i].bytes == file(next); ++i)
            ++next;
        ASSERT_EQ(received.size() - i, allOff + next % 2) << "after message " << next;
        // A note left sounding is silenced; its note-off, taken back, comes again on resuming.
        EXPECT_TRUE(next % 2 == 0 || received[i].bytes == (Bytes{0x80, file(next)[1], 0}));
    };
    check(&MidiStream::midiStreamPause, 0);
    EXPECT_EQ(streams->midiStreamRestart(handle), 0u);
    check(&MidiStream::midiStreamStop, 32); // all notes and sounds off on 16 channels
    EXPECT_TRUE(notes.done());
    EXPECT_TRUE(tester.waitReceived(1, 100ms).empty());
    EXPECT_EQ(streams->midiStreamClose(handle), 0u);
}

} // namespace
} // namespace parlet
