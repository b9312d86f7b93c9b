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

class StreamJackTest : public test::JackTest {};

TEST_F(StreamJackTest, EveryEventArrivesInOrderAtTheFileIntervals) {
    JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiOutGetNumDevs(), 1u);
    auto streams = makeRealMidiStream(*midi);

    // Spacings that do not repeat with the period, and a tempo change halfway: 500000 us a
    // quarter, then 300000. The first event comes a little after the start, as the window's own
    // 500 ms wait gives a newly opened port time to settle.
    constexpr int count = 120;
    std::vector<std::uint32_t> deltas;
    std::vector<double> expectedMs;
    double at = 0;
    for (int i = 0; i < count; ++i) {
        deltas.push_back(i ? 3 + static_cast<std::uint32_t>(i * 7 % 11) : 288);
        at += deltas.back() * (i < count / 2 ? 500.0 : 300.0) / 480;
        expectedMs.push_back(at);
    }
    std::vector<JackTestClient::Received> received;
    const bool steady = test::runUnstalled(tester, [&] {
        tester.waitReceived(SIZE_MAX, 50ms); // what a spoiled run left behind
        HMIDISTRM handle = 0;
        unsigned device = 0;
        EXPECT_EQ(streams->midiStreamOpen(&handle, &device, 1, 0, 0, 0), MMSYSERR_NOERROR);
        MIDIPROPTIMEDIV division{8, 480};
        EXPECT_EQ(streams->midiStreamProperty(handle, &division, MIDIPROP_SET | MIDIPROP_TIMEDIV),
                  0u);
        StreamBuffer first, second;
        for (int i = 0; i < count; ++i) {
            auto &buffer = i < count / 2 ? first : second;
            if (i == count / 2)
                buffer.tempo(0, 300000);
            buffer.note(deltas[i], 0x90, static_cast<std::uint8_t>(i), 100);
        }
        for (auto *buffer : {&first, &second}) {
            EXPECT_EQ(streams->midiOutPrepareHeader(handle, buffer->ready(), 28), 0u);
            EXPECT_EQ(streams->midiStreamOut(handle, &buffer->header, 28), 0u);
        }
        EXPECT_EQ(streams->midiStreamRestart(handle), 0u);
        received = tester.waitReceived(count, 5s);
        // Wait for the last buffer's done bit as the window would, by polling.
        for (int tries = 0; tries < 200 && !second.done(); ++tries)
            std::this_thread::sleep_for(5ms);
        EXPECT_TRUE(first.done() && second.done());
        EXPECT_EQ(streams->midiStreamStop(handle), 0u);
        EXPECT_EQ(streams->midiStreamClose(handle), 0u);
        return true;
    });
    if (!steady)
        GTEST_SKIP() << "The JACK server was held up during every run, so timing went unchecked.";
    ASSERT_EQ(received.size(), static_cast<std::size_t>(count));
    // Arrival times by the JACK clock, so that the dummy server's frame rate, which follows its
    // own sleeps, does not enter.
    auto arrivedMs = [&](int i) {
        return static_cast<double>(received[i].usecs - received[0].usecs) / 1000.0 + expectedMs[0];
    };
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(received[i].bytes, (std::vector<std::uint8_t>{0x90, std::uint8_t(i), 100}));
        EXPECT_NEAR(arrivedMs(i), expectedMs[i], 1.0) << "event " << i;
        if (i > 0) {
            EXPECT_NEAR(arrivedMs(i) - arrivedMs(i - 1), expectedMs[i] - expectedMs[i - 1], 1.0)
                << "interval before event " << i;
        }
    }
}

} // namespace
} // namespace parlet
