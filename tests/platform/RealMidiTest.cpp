// The real MIDI system against a private JACK server, with a second client of the test at the
// other end of every port.
#include "JackServer.h"
#include "platform/RealServices.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using test::JackServer;
using test::JackTestClient;
using Bytes = std::vector<std::uint8_t>;

constexpr double framesPerMs = JackServer::sampleRate / 1000.0;
constexpr std::uint32_t period = JackServer::periodFrames;
const char *const busy = "The JACK server was held up during every run, so timing went unchecked.";

// What the input callback was given, in order.
struct Collector {
    struct Call {
        std::uint32_t msg;
        std::uintptr_t word, ms;
    };
    std::mutex mutex;
    std::vector<Call> calls;

    static void proc(HMIDIIN, std::uint32_t msg, std::uintptr_t self, std::uintptr_t p1,
                     std::uintptr_t p2) {
        if (auto *c = reinterpret_cast<Collector *>(self)) {
            std::lock_guard lock(c->mutex);
            c->calls.push_back({msg, p1, p2});
        }
    }
    void clear() {
        std::lock_guard lock(mutex);
        calls.clear();
    }
    // The data calls once `count` have arrived or two seconds passed.
    std::vector<Call> data(std::size_t count = 0) {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        for (;;) {
            std::vector<Call> result;
            {
                std::lock_guard lock(mutex);
                std::copy_if(calls.begin(), calls.end(), std::back_inserter(result),
                             [](const Call &call) { return call.msg == MIM_DATA; });
            }
            if (result.size() >= count || std::chrono::steady_clock::now() > deadline)
                return result;
            std::this_thread::sleep_for(1ms);
        }
    }
};

std::string inName(MidiSystem &midi, int device) {
    MIDIINCAPS caps;
    EXPECT_EQ(midi.midiInGetDevCapsA(device, caps), MMSYSERR_NOERROR);
    return caps.szPname.data();
}

std::string outName(MidiSystem &midi, int device) {
    MIDIOUTCAPS caps;
    EXPECT_EQ(midi.midiOutGetDevCapsA(device, caps), MMSYSERR_NOERROR);
    return caps.szPname.data();
}

// Waits until the server's frame time is `frames` past now, so all sent before was handled.
void waitFrames(const JackTestClient &client, std::uint32_t frames) {
    const std::uint32_t until = client.frameNow() + frames;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (static_cast<std::int32_t>(client.frameNow() - until) < 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
}

class RealMidiTest : public test::JackTest {
  protected:
    std::unique_ptr<JackTestClient> tester = std::make_unique<JackTestClient>("tester");
    Collector collector; // outlives the system that calls it
    std::unique_ptr<MidiSystem> midi;
    HMIDIIN handle = 0;

    void SetUp() override {
        test::JackTest::SetUp();
        ASSERT_TRUE(tester->ok());
    }
    void openInput(int device) {
        ASSERT_EQ(midi->midiInOpen(&handle, device, Collector::proc,
                                   reinterpret_cast<std::uintptr_t>(&collector), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        // A new connection may take a few cycles to find its place in the server's graph.
        waitFrames(*tester, 4 * period);
    }
};

TEST_F(RealMidiTest, ListsOtherClientsPortsByStableNamesButNotItsOwn) {
    JackTestClient longName("a-client-with-a-very-long-name");
    ASSERT_TRUE(longName.ok());
    midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiInGetNumDevs(), 2u);
    EXPECT_EQ(inName(*midi, 0), "a-client-with-a-very-long-name:"); // cut to 31 bytes
    EXPECT_EQ(inName(*midi, 1), "tester:out");
    ASSERT_EQ(midi->midiOutGetNumDevs(), 2u);
    EXPECT_EQ(outName(*midi, 1), "tester:in");
    EXPECT_EQ(outName(*midi, MIDI_MAPPER), "MIDI Mapper");

    // Its own ports, once open, stay out of the lists.
    openInput(1);
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(1, out), MMSYSERR_NOERROR);
    EXPECT_EQ(midi->midiInGetNumDevs(), 2u);
    EXPECT_EQ(midi->midiOutGetNumDevs(), 2u);
    EXPECT_EQ(midi->midiInClose(handle), MMSYSERR_NOERROR);
    out.reset();

    // Unplugged and plugged again, the device comes back under the same name.
    tester.reset();
    EXPECT_EQ(midi->midiInGetNumDevs(), 1u);
    tester = std::make_unique<JackTestClient>("tester");
    ASSERT_EQ(midi->midiInGetNumDevs(), 2u);
    EXPECT_EQ(inName(*midi, 1), "tester:out");
    MIDIINCAPS untouched;
    untouched.szPname[0] = 'x';
    EXPECT_EQ(midi->midiInGetDevCapsA(2, untouched), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midi->midiInGetDevCapsA(-1, untouched), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(untouched.szPname[0], 'x');
}

TEST_F(RealMidiTest, InputStampsEachMessageWithItsFrameOfArrival) {
    midi = makeRealMidiSystem();
    openInput(0);
    constexpr int count = 300;
    std::vector<std::uint32_t> frames;
    std::vector<Collector::Call> calls;
    double startFrame = 0;
    const bool steady = test::runUnstalled(*tester, [&] {
        midi->midiInStop(handle);
        collector.clear();
        const std::uint32_t before = tester->frameNow();
        EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
        const std::uint32_t after = tester->frameNow();
        startFrame = (before + after) / 2.0;
        // Spread over frame offsets that do not repeat with the period.
        frames.clear();
        for (int i = 0; i < count; ++i) {
            frames.push_back(after + 2 * period + static_cast<std::uint32_t>(i) * 157);
            tester->sendAt(frames.back(), {0x90, static_cast<std::uint8_t>(i % 128), 64});
        }
        calls = collector.data(count);
        return after - before <= 24; // the start frame is known only to within this window
    });
    if (!steady)
        GTEST_SKIP() << busy;
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(count));
    double worst = 0;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(calls[i].word, 0x90u | (i % 128u) << 8 | 64u << 16) << i;
        const double expected = (frames[i] - startFrame) / framesPerMs;
        worst = std::max(worst, std::abs(static_cast<double>(calls[i].ms) - expected));
    }
    RecordProperty("timestampErrorMaxMs", std::to_string(worst));
    EXPECT_LT(worst, 1.0);
}

TEST_F(RealMidiTest, InputKeepsItsResultCodesAndPassesNoSystemExclusive) {
    midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiInGetNumDevs(), 1u);
    HMIDIIN second = 0;
    for (int bad : {1, -1})
        EXPECT_EQ(midi->midiInOpen(&second, bad, Collector::proc, 0, CALLBACK_FUNCTION),
                  MMSYSERR_BADDEVICEID);
    openInput(0);
    EXPECT_EQ(midi->midiInOpen(&second, 0, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_ALLOCATED);
    for (HMIDIIN bad : {HMIDIIN{0}, handle + 1}) {
        EXPECT_EQ(midi->midiInStart(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midi->midiInStop(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midi->midiInClose(bad), MMSYSERR_INVALHANDLE);
    }
    const auto sendNow = [&](const Bytes &bytes) {
        tester->sendAt(tester->frameNow() + period, bytes);
    };

    sendNow({0x90, 1, 1}); // before the start: dropped
    waitFrames(*tester, 3 * period);
    EXPECT_TRUE(collector.data().empty());

    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    const std::uint32_t frame = tester->frameNow() + period;
    const std::vector<Bytes> messages{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
                                      {0xF8},
                                      {0xC2, 0x05},
                                      {0xB0, 0x7B, 0x00},
                                      {0xF2, 0x10, 0x20},
                                      {0xFE}};
    for (std::size_t i = 0; i < messages.size(); ++i)
        tester->sendAt(frame + static_cast<std::uint32_t>(i), messages[i]);
    std::vector<std::uintptr_t> words;
    for (const auto &call : collector.data(5))
        words.push_back(call.word);
    EXPECT_EQ(words, (std::vector<std::uintptr_t>{0xF8, 0x05C2, 0x007BB0, 0x2010F2, 0xFE}));

    // A second start while running does not restart the count.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    sendNow({0x90, 3, 1});
    auto calls = collector.data(6);
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_GE(calls[5].ms, 20u);

    EXPECT_EQ(midi->midiInStop(handle), MMSYSERR_NOERROR);
    sendNow({0x90, 4, 1}); // after the stop: dropped
    waitFrames(*tester, 3 * period);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(collector.data().size(), 6u);

    // A new start counts from 0 again; JACK's frame time at the start is good to a period.
    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    const auto restarted = std::chrono::steady_clock::now();
    sendNow({0x90, 5, 1});
    calls = collector.data(7);
    ASSERT_EQ(calls.size(), 7u);
    const std::chrono::duration<double, std::milli> since =
        std::chrono::steady_clock::now() - restarted;
    EXPECT_LE(static_cast<double>(calls[6].ms), since.count() + 2 * period / framesPerMs);

    EXPECT_EQ(midi->midiInClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(midi->midiInClose(handle), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midi->midiInOpen(&second, 0, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(midi->midiInClose(second), MMSYSERR_NOERROR);
    std::lock_guard lock(collector.mutex);
    EXPECT_EQ(collector.calls.front().msg, MIM_OPEN);
    EXPECT_EQ(collector.calls.back().msg, MIM_CLOSE);
}

TEST_F(RealMidiTest, OutputKeepsTheTimesItIsGiven) {
    midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiOutGetNumDevs(), 1u);
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(0, out), MMSYSERR_NOERROR);
    waitFrames(*tester, 4 * period);
    // JACK's clock runs apart from steady time by a constant.
    const auto steadyUs = [](std::chrono::steady_clock::time_point when) {
        return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch())
            .count();
    };
    const std::int64_t jackMinusSteady =
        static_cast<std::int64_t>(jack_get_time()) - steadyUs(std::chrono::steady_clock::now());

    constexpr int count = 100;
    const Bytes sysex{0xF0, 0x7D, 0x01, 0x02, 0xF7};
    std::vector<std::chrono::steady_clock::time_point> whens;
    std::vector<JackTestClient::Received> received;
    if (!test::runUnstalled(*tester, [&] {
            whens.clear();
            const auto first = std::chrono::steady_clock::now() + 100ms;
            for (int i = 0; i < count; ++i) {
                whens.push_back(first + i * 10ms);
                const std::uint8_t note[] = {0x90, static_cast<std::uint8_t>(i), 100};
                out->send(note, whens.back());
            }
            out->send(sysex, whens.back() + 10ms);
            received = tester->waitReceived(count + 1, 3s);
            return true;
        }))
        GTEST_SKIP() << busy;
    ASSERT_EQ(received.size(), static_cast<std::size_t>(count + 1));
    EXPECT_EQ(received.back().bytes, sysex);
    double worstSpacing = 0, least = 1e9, most = -1e9;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(received[i].bytes, (Bytes{0x90, std::uint8_t(i), 100}));
        const double latency = static_cast<double>(static_cast<std::int64_t>(received[i].usecs) -
                                                   jackMinusSteady - steadyUs(whens[i])) /
                               1000.0;
        least = std::min(least, latency);
        most = std::max(most, latency);
        if (i > 0) {
            const auto frames =
                static_cast<std::int32_t>(received[i].frame - received[i - 1].frame);
            worstSpacing = std::max(worstSpacing, std::abs(frames / framesPerMs - 10.0));
        }
    }
    RecordProperty("spacingErrorMaxMs", std::to_string(worstSpacing));
    EXPECT_LT(worstSpacing, 1.0);
    // The latency is one period, the same for every message.
    EXPECT_NEAR(least, period / framesPerMs, 1.0);
    EXPECT_NEAR(most, period / framesPerMs, 1.0);

    // A message already late goes out at once.
    const std::uint8_t late[] = {0x80, 1, 0};
    out->send(late, std::chrono::steady_clock::now() - 50ms);
    const auto lateOnes = tester->waitReceived(1, 1s);
    ASSERT_EQ(lateOnes.size(), 1u);
    EXPECT_EQ(lateOnes[0].bytes, Bytes(late, late + 3));
}

TEST_F(RealMidiTest, TheMapperRoutesToOutputZero) {
    JackTestClient first("a-tester");
    ASSERT_TRUE(first.ok());
    midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiOutGetNumDevs(), 2u);
    ASSERT_EQ(outName(*midi, 0), "a-tester:in");
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(MIDI_MAPPER, out), MMSYSERR_NOERROR);
    const std::uint8_t note[] = {0x91, 60, 90};
    out->send(note, std::chrono::steady_clock::now());
    EXPECT_EQ(first.waitReceived(1, 1s).size(), 1u);
    EXPECT_TRUE(tester->waitReceived(1, 50ms).empty());
    EXPECT_EQ(midi->openOutput(2, out), MMSYSERR_BADDEVICEID);
}

TEST(RealMidiWithoutServer, HasNoDevicesAndSaysNothing) {
    if (access("/dev/snd/seq", F_OK) == 0)
        GTEST_SKIP() << "This machine has an ALSA sequencer, so it always has MIDI devices.";
    const char *previous = std::getenv("JACK_DEFAULT_SERVER");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("JACK_DEFAULT_SERVER", ("parlet-absent-" + std::to_string(getpid())).c_str(), 1);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    {
        auto midi = makeRealMidiSystem();
        EXPECT_EQ(midi->midiInGetNumDevs(), 0u);
        EXPECT_EQ(midi->midiOutGetNumDevs(), 0u);
        EXPECT_EQ(outName(*midi, MIDI_MAPPER), "MIDI Mapper");
        HMIDIIN handle = 0;
        EXPECT_EQ(midi->midiInOpen(&handle, 0, Collector::proc, 0, CALLBACK_FUNCTION),
                  MMSYSERR_BADDEVICEID);
        std::unique_ptr<MidiOutPort> out;
        EXPECT_EQ(midi->openOutput(MIDI_MAPPER, out), MMSYSERR_BADDEVICEID);
        EXPECT_FALSE(out);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    if (previous != nullptr)
        setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
    else
        unsetenv("JACK_DEFAULT_SERVER");
}

} // namespace
} // namespace parlet
