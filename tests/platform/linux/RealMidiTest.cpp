// The real MIDI system against a private JACK server, with a second client of the test at the
// other end of every port. (The stream service plays through it in RealMidiWindowsTest.)
#include "JackServer.h"
#include "platform/RealServices.h"

#include <mutex>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using test::JackTestClient;
using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;
constexpr std::uint32_t period = test::JackServer::periodFrames;

// The input callback's data words, and MIM_OPEN and MIM_CLOSE as themselves.
struct Collector {
    std::mutex mutex;
    std::vector<std::uintptr_t> calls;

    static void proc(HMIDIIN, std::uint32_t msg, std::uintptr_t self, std::uintptr_t word,
                     std::uintptr_t) {
        std::lock_guard lock(reinterpret_cast<Collector *>(self)->mutex);
        reinterpret_cast<Collector *>(self)->calls.push_back(msg == MIM_DATA ? word : msg);
    }
    // What came once `count` calls have come or `timeout` passed.
    std::vector<std::uintptr_t> wait(std::size_t count, std::chrono::milliseconds timeout) {
        for (const auto until = SteadyClock::now() + timeout;; std::this_thread::sleep_for(1ms)) {
            std::lock_guard lock(mutex);
            if (calls.size() >= count || SteadyClock::now() > until)
                return std::exchange(calls, {});
        }
    }
};

class RealMidiTest : public test::JackTest {
  protected:
    std::unique_ptr<JackTestClient> tester = std::make_unique<JackTestClient>("tester");
    Collector collector; // outlives the system that calls it
    std::unique_ptr<MidiSystem> midi = makeRealMidiSystem();
    HMIDIIN handle = 0;

    void SetUp() override {
        test::JackTest::SetUp();
        ASSERT_TRUE(IsSkipped() || tester->ok());
    }
    // Opens and waits four periods: a new connection takes a few cycles to find its place.
    void openInput(int device) {
        ASSERT_EQ(midi->midiInOpen(&handle, device, Collector::proc,
                                   reinterpret_cast<std::uintptr_t>(&collector), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        for (const auto until = tester->frameNow() + 4 * period;
             static_cast<std::int32_t>(tester->frameNow() - until) < 0;)
            std::this_thread::sleep_for(1ms);
    }
    void send(const std::vector<Bytes> &messages) {
        for (const auto &message : messages)
            tester->sendAt(tester->frameNow() + period, message);
    }
};

TEST_F(RealMidiTest, ListsOtherClientsPortsButNotItsOwnAndMapsToTheFirst) {
    // 32 bytes, the last four characters of two each.
    auto longName = std::make_unique<JackTestClient>("a-client-with-a-long-naméééé");
    ASSERT_TRUE(longName->ok());
    ASSERT_EQ(midi->midiInGetNumDevs() + midi->midiOutGetNumDevs(), 4u);
    MIDIINCAPS in[2];
    MIDIOUTCAPS out1, mapper;
    ASSERT_EQ(midi->midiInGetDevCapsA(0, in[0]) + midi->midiInGetDevCapsA(1, in[1]) +
                  midi->midiOutGetDevCapsA(1, out1) + midi->midiOutGetDevCapsA(MIDI_MAPPER, mapper),
              0u);
    EXPECT_STREQ(in[0].szPname.data(), "a-client-with-a-long-namééé"); // 30 bytes, not 31
    EXPECT_STREQ(in[1].szPname.data(), "tester:out");
    EXPECT_STREQ(out1.szPname.data(), "tester:in");
    EXPECT_STREQ(mapper.szPname.data(), "MIDI Mapper");
    // Its own ports, once open, stay out of the lists; the mapper reaches output 0.
    openInput(1);
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(MIDI_MAPPER, out), MMSYSERR_NOERROR);
    EXPECT_EQ(midi->midiInGetNumDevs() + midi->midiOutGetNumDevs(), 4u);
    out->send(Bytes{0x91, 60, 90}, SteadyClock::now());
    EXPECT_EQ(longName->waitReceived(1, 1s).size(), 1u);
    EXPECT_TRUE(tester->waitReceived(1, 50ms).empty());
    // Ports gone since the lists were read do not exist, rather than being in use.
    longName.reset();
    EXPECT_EQ(midi->openOutput(0, out), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midi->midiInOpen(&handle, 0, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_BADDEVICEID);
}

// A server that has gone away is let go, and the one that takes its place is found.
TEST_F(RealMidiTest, FindsTheServerThatReplacesTheOneItUsed) {
    ASSERT_EQ(midi->midiInGetNumDevs(), 1u);
    tester.reset();
    delete s_server;
    s_server = new test::JackServer;
    tester = std::make_unique<JackTestClient>("replacement");
    ASSERT_TRUE(s_server->running() && tester->ok());
    MIDIINCAPS caps;
    EXPECT_EQ(midi->midiInGetNumDevs(), 1u);
    EXPECT_EQ(midi->midiInGetDevCapsA(0, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname.data(), "replacement:out");
}

TEST_F(RealMidiTest, InputKeepsItsResultCodesAndPassesOnlyShortMessagesWhileStarted) {
    HMIDIIN second = 0;
    EXPECT_EQ(midi->midiInOpen(&second, 1, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_BADDEVICEID);
    openInput(0);         // a second open is tried through the windows (RealMidiWindowsTest.cpp)
    send({{0x90, 1, 1}}); // before the start: dropped
    EXPECT_EQ(collector.wait(2, 30ms), std::vector<std::uintptr_t>{MIM_OPEN});
    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    send({{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0x80, 0x7F, 0}, {0xF8}, {0xDF, 0x05}, {0xFE}});
    EXPECT_EQ(collector.wait(4, 2s), (std::vector<std::uintptr_t>{0x7F80, 0xF8, 0x05DF, 0xFE}));
    EXPECT_EQ(midi->midiInStop(handle), MMSYSERR_NOERROR);
    send({{0x90, 4, 1}}); // after the stop: dropped
    EXPECT_TRUE(collector.wait(1, 30ms).empty());
    EXPECT_EQ(midi->midiInClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(collector.wait(2, 30ms), std::vector<std::uintptr_t>{MIM_CLOSE});
}

TEST_F(RealMidiTest, OutputPlacesEachMessageAtItsFrameAndTakesBackWhatIsAhead) {
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(0, out), MMSYSERR_NOERROR);
    const Bytes sysex{0xF0, 0x7D, 0x01, 0x02, 0xF7};
    EXPECT_TRUE(test::timedRun(*tester, [&] {
        // 7 ms apart from 50 ms ahead; those after 250 ms are taken back at 200 ms.
        tester->waitReceived(SIZE_MAX, 0ms); // what a spoiled run left behind
        const auto first = SteadyClock::now() + 50ms;
        for (int i = 0; i < 50; ++i) {
            out->send(Bytes{0x90, std::uint8_t(i), 100}, first + i * 7ms);
            if (i == 35)
                out->send(sysex, first + 250ms);
        }
        std::this_thread::sleep_for(first + 200ms - SteadyClock::now());
        EXPECT_EQ(out->takeBack(first + 250ms), 14u);
        const auto received = tester->waitReceived(SIZE_MAX, 300ms);
        if (received.size() != 37 || received.back().bytes != sysex) // after note 35, at 245
            return ::testing::AssertionFailure() << received.size() << " came";
        for (int i = 1; i < 36; ++i)
            if (received[i].bytes != Bytes{0x90, std::uint8_t(i), 100} ||
                std::abs(static_cast<int>(received[i].frame - received[i - 1].frame) - 336) > 1)
                return ::testing::AssertionFailure() << "message " << i << " off";
        return ::testing::AssertionSuccess();
    }));
    // One already late goes out at once; one due some cycles after the port is closed still goes,
    // and only once: the cycle that wrote it is not the last the port takes part in.
    out->send(Bytes{0x80, 1, 0}, SteadyClock::now() - 50ms);
    EXPECT_EQ(tester->waitReceived(1, 1s).size(), 1u);
    out->send(Bytes{0x80, 2, 0}, SteadyClock::now() + 30ms);
    out.reset();
    EXPECT_EQ(tester->waitReceived(2, 200ms).size(), 1u);
}

} // namespace
} // namespace parlet
