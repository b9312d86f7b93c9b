// The real stream service through a JACK server: a second client receives what it plays.
#include "JackServer.h"
#include "platform/RealServices.h"
#include "platform/stream/SequencerDevice.h"
#include "stream/StreamTestData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using test::JackServer;
using test::JackTestClient;
using testdata::StreamBuffer;

class StreamJackTest : public test::JackTest {};

TEST_F(StreamJackTest, EveryEventArrivesInOrderAtTheFileIntervals) {
    JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiOutGetNumDevs(), 1u);
    auto streams = makeRealMidiStream(*midi);

    HMIDISTRM handle = 0;
    unsigned device = 0;
    ASSERT_EQ(streams->midiStreamOpen(&handle, &device, 1, 0, 0, 0), MMSYSERR_NOERROR);
    MIDIPROPTIMEDIV division{8, 480};
    ASSERT_EQ(streams->midiStreamProperty(handle, &division, MIDIPROP_SET | MIDIPROP_TIMEDIV), 0u);

    // Spacings that do not repeat with the period, and a tempo change halfway: 500000 us a
    // quarter for the first half, then 300000.
    constexpr int count = 120;
    StreamBuffer first, second;
    std::vector<double> expectedMs;
    double at = 0;
    for (int i = 0; i < count; ++i) {
        auto &buffer = i < count / 2 ? first : second;
        // The first event a little after the start, as the window's own 500 ms wait gives
        // a newly opened port time to settle.
        std::uint32_t delta = i ? 3 + static_cast<std::uint32_t>(i * 7 % 11) : 288;
        if (i == count / 2)
            buffer.tempo(0, 300000);
        double tickMs = i < count / 2 ? 500.0 / 480 : 300.0 / 480;
        at += delta * tickMs;
        expectedMs.push_back(at);
        buffer.note(delta, 0x90, static_cast<std::uint8_t>(i), 100);
    }
    for (auto *buffer : {&first, &second}) {
        ASSERT_EQ(streams->midiOutPrepareHeader(handle, buffer->ready(), 28), 0u);
        ASSERT_EQ(streams->midiStreamOut(handle, &buffer->header, 28), 0u);
    }
    ASSERT_EQ(streams->midiStreamRestart(handle), 0u);

    auto received = tester.waitReceived(count, 5s);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(count));
    EXPECT_TRUE(first.done());
    // A dummy server's frames do not follow the steady clock exactly (its cycles are timed by
    // sleeps), so the frame rate is fitted to the arrivals; the placement within it must then
    // match the file to the millisecond.
    double sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
    for (int i = 0; i < count; ++i) {
        double x = expectedMs[i];
        double y = static_cast<std::int32_t>(received[i].frame - received[0].frame);
        sumX += x, sumY += y, sumXX += x * x, sumXY += x * y;
    }
    const double framesPerMs = (count * sumXY - sumX * sumY) / (count * sumXX - sumX * sumX);
    const double offset = (sumY - framesPerMs * sumX) / count;
    EXPECT_NEAR(framesPerMs, JackServer::sampleRate / 1000.0, 48 * 0.02);
    auto arrivedMs = [&](int i) {
        return (static_cast<std::int32_t>(received[i].frame - received[0].frame) - offset) /
               framesPerMs;
    };
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(received[i].bytes, (std::vector<std::uint8_t>{0x90, std::uint8_t(i), 100}));
        EXPECT_NEAR(arrivedMs(i), expectedMs[i], 1.0) << "event " << i;
        if (i > 0) {
            EXPECT_NEAR(arrivedMs(i) - arrivedMs(i - 1), expectedMs[i] - expectedMs[i - 1], 1.0)
                << "interval before event " << i;
        }
    }
    // Wait for the last buffer's done bit as the window would, by polling.
    for (int tries = 0; tries < 200 && !second.done(); ++tries)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(second.done());
    EXPECT_EQ(streams->midiStreamStop(handle), 0u);
    EXPECT_EQ(streams->midiStreamClose(handle), 0u);
}

} // namespace
} // namespace parlet
