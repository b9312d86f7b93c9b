// The real MIDI system against a private JACK server, with a second client of the test at the
// other end of every port.
#include "JackServer.h"
#include "platform/RealServices.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using test::JackServer;
using test::JackTestClient;
using Received = JackTestClient::Received;

constexpr double framesPerMs = JackServer::sampleRate / 1000.0;
// A timing check that a stall of the server spoiled runs again, up to this many times in all.
constexpr int maxAttempts = 5;

// What the input callback was given, in order.
struct Collector {
    struct Call {
        std::uint32_t msg;
        std::uintptr_t word;
        std::uintptr_t ms;
    };
    std::mutex mutex;
    std::vector<Call> calls;

    static void proc(HMIDIIN, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t p1,
                     std::uintptr_t p2) {
        auto *self = reinterpret_cast<Collector *>(instance);
        if (self == nullptr) {
            return;
        }
        std::lock_guard lock(self->mutex);
        self->calls.push_back({msg, p1, p2});
    }
    std::uintptr_t instance() { return reinterpret_cast<std::uintptr_t>(this); }

    std::vector<Call> data() {
        std::lock_guard lock(mutex);
        std::vector<Call> result;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(result),
                     [](const Call &call) { return call.msg == MIM_DATA; });
        return result;
    }
    // Polls until `count` data calls have arrived or two seconds passed.
    std::vector<Call> waitData(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (data().size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        return data();
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

// Waits until the server's frame time is past `frame`, so everything sent before it was handled.
void waitForFrame(const JackTestClient &client, std::uint32_t frame) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (static_cast<std::int32_t>(client.frameNow() - frame) < 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * (values.size() - 1))];
}

class RealMidiTest : public test::JackTest {};

TEST_F(RealMidiTest, ListsOtherClientsPortsByStableNamesButNotItsOwn) {
    auto tester = std::make_unique<JackTestClient>("tester");
    JackTestClient longName("a-client-with-a-very-long-name");
    ASSERT_TRUE(tester->ok() && longName.ok());
    auto midi = makeRealMidiSystem();

    ASSERT_EQ(midi->midiInGetNumDevs(), 2u);
    EXPECT_EQ(inName(*midi, 0), "a-client-with-a-very-long-name:"); // cut to 31 bytes
    EXPECT_EQ(inName(*midi, 1), "tester:out");
    ASSERT_EQ(midi->midiOutGetNumDevs(), 2u);
    EXPECT_EQ(outName(*midi, 1), "tester:in");
    EXPECT_EQ(outName(*midi, MIDI_MAPPER), "MIDI Mapper");

    // Its own ports, once open, stay out of the lists.
    Collector collector;
    HMIDIIN handle = 0;
    ASSERT_EQ(
        midi->midiInOpen(&handle, 1, Collector::proc, collector.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
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
    EXPECT_EQ(untouched.szPname[0], 'x');
    EXPECT_EQ(midi->midiInGetDevCapsA(-1, untouched), MMSYSERR_BADDEVICEID);
}

TEST_F(RealMidiTest, InputStampsEachMessageWithItsFrameOfArrival) {
    JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiInGetNumDevs(), 1u);
    Collector collector;
    HMIDIIN handle = 0;
    ASSERT_EQ(
        midi->midiInOpen(&handle, 0, Collector::proc, collector.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);

    // A new connection may take a few cycles to find its place in the server's graph.
    waitForFrame(tester, tester.frameNow() + 4 * JackServer::periodFrames);

    for (int attempt = 1;; ++attempt) {
        const unsigned stalls = tester.stalls();
        midi->midiInStop(handle);
        {
            std::lock_guard lock(collector.mutex);
            collector.calls.clear();
        }
        const std::uint32_t before = tester.frameNow();
        ASSERT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
        const std::uint32_t after = tester.frameNow();
        const double startFrame = (before + after) / 2.0;

        // Spread over frame offsets that do not repeat with the period.
        constexpr int count = 300;
        const std::uint32_t first = after + 2 * JackServer::periodFrames;
        std::vector<std::uint32_t> frames;
        for (int i = 0; i < count; ++i) {
            frames.push_back(first + static_cast<std::uint32_t>(i) * 157);
            tester.sendAt(frames.back(), {0x90, static_cast<std::uint8_t>(i % 128), 64});
        }
        const auto calls = collector.waitData(count);
        // The start frame is known only to within the window around the start.
        if ((tester.stalls() != stalls || after - before > 24) && attempt < maxAttempts) {
            continue;
        }
        if (tester.stalls() != stalls) {
            GTEST_SKIP() << "The JACK server was held up during every run (the machine is too "
                            "busy), so the timing could not be checked.";
        }
        ASSERT_EQ(calls.size(), static_cast<std::size_t>(count));

        std::vector<double> errors;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(calls[i].word, 0x90u | (i % 128u) << 8 | 64u << 16) << i;
            const double expected = (frames[i] - startFrame) / framesPerMs;
            errors.push_back(std::abs(static_cast<double>(calls[i].ms) - expected));
        }
        RecordProperty("timestampErrorP50Ms", std::to_string(percentile(errors, 0.5)));
        RecordProperty("timestampErrorP99Ms", std::to_string(percentile(errors, 0.99)));
        RecordProperty("attempts", attempt);
        EXPECT_LT(percentile(errors, 1.0), 1.0);
        break;
    }
    EXPECT_EQ(midi->midiInClose(handle), MMSYSERR_NOERROR);
}

TEST_F(RealMidiTest, InputDeliversShortMessagesAndRealTimeButNoSystemExclusive) {
    JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiInGetNumDevs(), 1u);
    Collector collector;
    HMIDIIN handle = 0;
    ASSERT_EQ(
        midi->midiInOpen(&handle, 0, Collector::proc, collector.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    waitForFrame(tester, tester.frameNow() + 4 * JackServer::periodFrames);
    midi->midiInStart(handle);
    const std::uint32_t frame = tester.frameNow() + JackServer::periodFrames;
    const std::vector<std::vector<std::uint8_t>> messages{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
                                                          {0xF8},
                                                          {0xC2, 0x05},
                                                          {0xB0, 0x7B, 0x00},
                                                          {0xF2, 0x10, 0x20},
                                                          {0xFE}};
    for (std::size_t i = 0; i < messages.size(); ++i) {
        tester.sendAt(frame + static_cast<std::uint32_t>(i), messages[i]);
    }
    const auto calls = collector.waitData(5);
    std::vector<std::uintptr_t> words;
    for (const auto &call : calls) {
        words.push_back(call.word);
    }
    EXPECT_EQ(words, (std::vector<std::uintptr_t>{0xF8, 0x05C2, 0x007BB0, 0x2010F2, 0xFE}));
    midi->midiInClose(handle);
}

TEST_F(RealMidiTest, InputOpenStartStopAndCloseKeepTheirResultCodes) {
    JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiInGetNumDevs(), 1u);
    Collector collector;
    HMIDIIN handle = 0;
    HMIDIIN second = 0;
    EXPECT_EQ(midi->midiInOpen(&second, 1, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midi->midiInOpen(&second, -1, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_BADDEVICEID);
    ASSERT_EQ(
        midi->midiInOpen(&handle, 0, Collector::proc, collector.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    EXPECT_NE(handle, 0);
    EXPECT_EQ(midi->midiInOpen(&second, 0, Collector::proc, 0, CALLBACK_FUNCTION),
              MMSYSERR_ALLOCATED);
    for (HMIDIIN bad : {HMIDIIN{0}, handle + 1}) {
        EXPECT_EQ(midi->midiInStart(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midi->midiInStop(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midi->midiInClose(bad), MMSYSERR_INVALHANDLE);
    }

    // Nothing arrives before the start.
    std::uint32_t frame = tester.frameNow() + JackServer::periodFrames;
    tester.sendAt(frame, {0x90, 1, 1});
    waitForFrame(tester, frame + 2 * JackServer::periodFrames);
    EXPECT_TRUE(collector.data().empty());

    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    frame = tester.frameNow() + JackServer::periodFrames;
    tester.sendAt(frame, {0x90, 2, 1});
    ASSERT_EQ(collector.waitData(1).size(), 1u);

    // A second start while running neither restarts the count nor loses anything.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    frame = tester.frameNow() + JackServer::periodFrames;
    tester.sendAt(frame, {0x90, 3, 1});
    const auto calls = collector.waitData(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_GE(calls[1].ms, 20u);

    // After the stop nothing more arrives.
    EXPECT_EQ(midi->midiInStop(handle), MMSYSERR_NOERROR);
    frame = tester.frameNow() + JackServer::periodFrames;
    tester.sendAt(frame, {0x90, 4, 1});
    waitForFrame(tester, frame + 2 * JackServer::periodFrames);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(collector.data().size(), 2u);

    // A new start counts from 0 again.
    EXPECT_EQ(midi->midiInStart(handle), MMSYSERR_NOERROR);
    const auto restarted = std::chrono::steady_clock::now();
    frame = tester.frameNow() + JackServer::periodFrames;
    tester.sendAt(frame, {0x90, 5, 1});
    ASSERT_EQ(collector.waitData(3).size(), 3u);
    const double sinceRestart =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - restarted)
            .count();
    // Frame time at the start is JACK's estimate, good to within a period.
    EXPECT_LE(static_cast<double>(collector.data()[2].ms),
              sinceRestart + 2 * JackServer::periodFrames / framesPerMs);

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
    JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiOutGetNumDevs(), 1u);
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(0, out), MMSYSERR_NOERROR);
    ASSERT_TRUE(out);
    waitForFrame(tester, tester.frameNow() + 4 * JackServer::periodFrames);

    // Steady time on JACK's clock, which runs apart from it by a constant.
    const auto steadyUs = [](std::chrono::steady_clock::time_point when) {
        return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch())
            .count();
    };
    const std::int64_t jackMinusSteady =
        static_cast<std::int64_t>(jack_get_time()) - steadyUs(std::chrono::steady_clock::now());

    // A held-up server shifts frames against the clock; a run that met one is done again.
    for (int attempt = 1;; ++attempt) {
        const unsigned stalls = tester.stalls();
        constexpr int count = 100;
        const auto first = std::chrono::steady_clock::now() + 100ms;
        std::vector<std::chrono::steady_clock::time_point> whens;
        for (int i = 0; i < count; ++i) {
            whens.push_back(first + i * 10ms);
            const std::uint8_t note[] = {0x90, static_cast<std::uint8_t>(i), 100};
            out->send(note, whens.back());
        }
        const std::uint8_t sysex[] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
        out->send(sysex, whens.back() + 10ms);

        const auto received = tester.waitReceived(count + 1, 3s);
        if (tester.stalls() != stalls && attempt < maxAttempts) {
            continue;
        }
        if (tester.stalls() != stalls) {
            GTEST_SKIP() << "The JACK server was held up during every run (the machine is too "
                            "busy), so the timing could not be checked.";
        }
        ASSERT_EQ(received.size(), static_cast<std::size_t>(count + 1));
        EXPECT_EQ(received.back().bytes, std::vector<std::uint8_t>(sysex, sysex + sizeof sysex));

        std::vector<double> spacingErrors;
        std::vector<double> latencies;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(received[i].bytes, (std::vector<std::uint8_t>{0x90, std::uint8_t(i), 100}));
            latencies.push_back(static_cast<double>(static_cast<std::int64_t>(received[i].usecs) -
                                                    jackMinusSteady - steadyUs(whens[i])) /
                                1000.0);
            if (i > 0) {
                const double spacing =
                    static_cast<std::int32_t>(received[i].frame - received[i - 1].frame) /
                    framesPerMs;
                spacingErrors.push_back(std::abs(spacing - 10.0));
            }
        }
        RecordProperty("spacingErrorP99Ms", std::to_string(percentile(spacingErrors, 0.99)));
        EXPECT_LT(percentile(spacingErrors, 1.0), 1.0);
        // The latency is one period, the same for every message.
        const double period = JackServer::periodFrames / framesPerMs;
        const auto [least, most] = std::minmax_element(latencies.begin(), latencies.end());
        EXPECT_NEAR(*least, period, 1.0);
        EXPECT_NEAR(*most, period, 1.0);
        break;
    }

    // A message already late goes out at once.
    const std::uint8_t late[] = {0x80, 1, 0};
    out->send(late, std::chrono::steady_clock::now() - 50ms);
    const auto lateOnes = tester.waitReceived(1, 1s);
    ASSERT_EQ(lateOnes.size(), 1u);
    EXPECT_EQ(lateOnes[0].bytes, std::vector<std::uint8_t>(late, late + 3));
}

TEST_F(RealMidiTest, TheMapperRoutesToOutputZero) {
    JackTestClient first("a-tester");
    JackTestClient second("b-tester");
    ASSERT_TRUE(first.ok() && second.ok());
    auto midi = makeRealMidiSystem();
    ASSERT_EQ(midi->midiOutGetNumDevs(), 2u);
    ASSERT_EQ(outName(*midi, 0), "a-tester:in");
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(MIDI_MAPPER, out), MMSYSERR_NOERROR);
    const std::uint8_t note[] = {0x91, 60, 90};
    out->send(note, std::chrono::steady_clock::now());
    EXPECT_EQ(first.waitReceived(1, 1s).size(), 1u);
    EXPECT_TRUE(second.waitReceived(1, 50ms).empty());
    EXPECT_EQ(midi->openOutput(2, out), MMSYSERR_BADDEVICEID);
}

TEST_F(RealMidiTest, TheLoopClientReturnsWhatItIsSentInTime) {
    const pid_t loop = fork();
    if (loop == 0) {
        execl(PARLET_MIDILOOP, PARLET_MIDILOOP, static_cast<char *>(nullptr));
        _exit(127);
    }
    ASSERT_GT(loop, 0);
    JackTestClient watcher("watcher"); // only to see whether the server was held up
    ASSERT_TRUE(watcher.ok());
    auto midi = makeRealMidiSystem();
    const auto findDevice = [&](bool input, const std::string &name) {
        const unsigned count = input ? midi->midiInGetNumDevs() : midi->midiOutGetNumDevs();
        for (unsigned i = 0; i < count; ++i) {
            if ((input ? inName(*midi, int(i)) : outName(*midi, int(i))) == name) {
                return int(i);
            }
        }
        return -1;
    };
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((findDevice(true, "parlet-loop:out") < 0 || findDevice(false, "parlet-loop:in") < 0) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    const int source = findDevice(true, "parlet-loop:out");
    const int sink = findDevice(false, "parlet-loop:in");
    ASSERT_GE(source, 0);
    ASSERT_GE(sink, 0);

    Collector collector;
    HMIDIIN handle = 0;
    ASSERT_EQ(
        midi->midiInOpen(&handle, source, Collector::proc, collector.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    std::unique_ptr<MidiOutPort> out;
    ASSERT_EQ(midi->openOutput(sink, out), MMSYSERR_NOERROR);
    waitForFrame(watcher, watcher.frameNow() + 4 * JackServer::periodFrames);
    midi->midiInStart(handle);
    constexpr int count = 20;
    for (int attempt = 1;; ++attempt) {
        const unsigned stalls = watcher.stalls();
        {
            std::lock_guard lock(collector.mutex);
            collector.calls.clear();
        }
        const auto first = std::chrono::steady_clock::now() + 100ms;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t note[] = {0x90, static_cast<std::uint8_t>(i), 1};
            out->send(note, first + i * 10ms);
        }
        const auto calls = collector.waitData(count);
        if (watcher.stalls() != stalls && attempt < maxAttempts) {
            std::this_thread::sleep_for(50ms); // let the last of this run drain
            continue;
        }
        if (watcher.stalls() != stalls) {
            GTEST_SKIP() << "The JACK server was held up during every run (the machine is too "
                            "busy), so the timing could not be checked.";
        }
        ASSERT_EQ(calls.size(), static_cast<std::size_t>(count));
        for (int i = 1; i < count; ++i) {
            EXPECT_EQ(calls[i].word, 0x010090u | static_cast<unsigned>(i) << 8);
            EXPECT_NEAR(static_cast<double>(calls[i].ms - calls[i - 1].ms), 10.0, 1.0) << i;
        }
        break;
    }
    midi->midiInClose(handle);

    kill(loop, SIGTERM);
    int status = -1;
    ASSERT_EQ(waitpid(loop, &status, 0), loop);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(RealMidiWithoutServer, HasNoDevicesAndSaysNothing) {
    if (access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "This machine has an ALSA sequencer, so it always has MIDI devices.";
    }
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

    if (previous != nullptr) {
        setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
    } else {
        unsetenv("JACK_DEFAULT_SERVER");
    }
}

} // namespace
} // namespace parlet
