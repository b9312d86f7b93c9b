// Playback through JACK to a second client on a private dummy server: each arrival's frame
// against the file's time, for events handed to the port a lookahead early (the port's own) and
// at their due time (as before), with the other core idle and then busy.
#include "JackServer.h"
#include "platform/RealServices.h"
#include "platform/linux/stream/StreamService.h"

#include "BusyCore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;

// The worst lateness of a hand-over to the port in the run, against its due time less the
// lookahead.
double handoverLateMs = 0;

// The real outputs, with the port's lookahead replaced when `early` is false.
class Outputs final : public MidiOutputs {
  public:
    Outputs(MidiSystem &midi, bool early) : m_midi(midi), m_early(early) {}
    MMRESULT openOutput(int deviceId, std::unique_ptr<MidiOutPort> &port) override {
        std::unique_ptr<MidiOutPort> real;
        auto result = m_midi.openOutput(deviceId, real);
        if (real)
            port = std::make_unique<Port>(std::move(real), m_early);
        return result;
    }

  private:
    class Port final : public MidiOutPort {
      public:
        Port(std::unique_ptr<MidiOutPort> real, bool early)
            : m_real(std::move(real)), m_early(early) {}
        void send(std::span<const std::uint8_t> message, time_point when) override {
            // How late the hand-over came: after the time the lookahead asked for.
            const auto late = std::chrono::steady_clock::now() - (when - lookahead());
            if (message[0] == 0x90) // the notes, not the silencing at the end
                handoverLateMs = std::max(handoverLateMs,
                                          std::chrono::duration<double, std::milli>(late).count());
            m_real->send(message, when);
        }
        std::chrono::nanoseconds lookahead() const override {
            return m_early ? m_real->lookahead() : 0ns;
        }
        std::size_t takeBack(time_point cut) override { return m_real->takeBack(cut); }

      private:
        std::unique_ptr<MidiOutPort> m_real;
        bool m_early;
    };
    MidiSystem &m_midi;
    bool m_early;
};

// The frames a held-up server skipped: the first frame after each skip, and the longest.
class StallWatch final {
  public:
    StallWatch() : m_client(jack_client_open("watch", JackNoStartServer, nullptr)) {
        jack_set_process_callback(m_client, process, this);
        jack_activate(m_client);
    }
    ~StallWatch() { jack_client_close(m_client); }
    std::vector<std::uint32_t> gaps() const {
        std::vector<std::uint32_t> ends;
        for (unsigned i = 0; i < std::min<unsigned>(m_count, m_gaps.size()); ++i)
            ends.push_back(m_gaps[i]);
        return ends;
    }
    unsigned count() const { return m_count; }
    double longestMs() const { return m_longest * 1000.0 / test::JackServer::sampleRate; }

  private:
    static int process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<StallWatch *>(arg);
        const jack_nframes_t start = jack_last_frame_time(self->m_client);
        if (self->m_next != 0 && start != self->m_next) {
            self->m_longest = std::max<jack_nframes_t>(
                self->m_longest, std::abs(static_cast<std::int32_t>(start - self->m_next)));
            self->m_gaps[self->m_count++ % self->m_gaps.size()] = start;
        }
        self->m_next = start + frames;
        return 0;
    }
    jack_client_t *m_client;
    jack_nframes_t m_next = 0;
    std::atomic<unsigned> m_count{0};
    std::atomic<jack_nframes_t> m_longest{0};
    std::array<std::atomic<std::uint32_t>, 1024> m_gaps{};
};

// Args: other core busy (0/1), hand-over a lookahead early (1) or at due time (0), scheduler
// thread asking for real-time priority (1) or not (0, as for a user without the right).
void BM_JackArrival(benchmark::State &state) {
    const bool busy = state.range(0) != 0;
    const bool early = state.range(1) != 0;
    const bool fifo = state.range(2) != 0;
    static test::JackServer server;
    if (!server.running()) {
        state.SkipWithError(("no JACK server: " + server.error()).c_str());
        return;
    }
    static bool settled = false; // a server just started wavers in its first seconds
    if (!std::exchange(settled, true))
        std::this_thread::sleep_for(3s);
    test::JackTestClient receiver("receiver");
    StallWatch watch;
    auto midi = makeRealMidiSystem();
    Outputs outputs(*midi, early);
    StreamService streams(
        outputs, [] { return std::make_unique<SteadyStreamTimer>(); }, fifo);

    // One tick a millisecond: division 1000 at one second a quarter; 1-5 ms apart.
    constexpr int count = 10000;
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> spacing(1, 5);
    std::vector<char> bytes;
    std::vector<std::int64_t> fileMs;
    std::int64_t at = 500;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t delta = i ? spacing(random) : 500;
        at += i ? delta : 0;
        fileMs.push_back(at);
        // Key and velocity number the event, so that one lost in a stall is known.
        const std::uint32_t record[3] = {delta, 0, 0x90u | (i % 128u) << 8 | (1u + i / 128u) << 16};
        bytes.insert(bytes.end(), reinterpret_cast<const char *>(record),
                     reinterpret_cast<const char *>(record) + sizeof record);
    }
    MIDIHDR header;
    header.lpData = bytes.data();
    header.dwBufferLength = header.dwBytesRecorded = static_cast<std::uint32_t>(bytes.size());

    std::vector<double> errors;
    unsigned stalls = 0;
    int lost = 0, spoiled = 0;
    double framesPerClock = 0;
    for (auto _ : state) {
        BusyCore otherCore(busy);
        const unsigned stallsBefore = watch.count();
        handoverLateMs = 0;
        HMIDISTRM handle = 0;
        unsigned device = 0;
        streams.midiStreamOpen(&handle, &device, 1, 0, 0, 0);
        MIDIPROPTIMEDIV division{8, 1000}, tempo{8, 1000000};
        streams.midiStreamProperty(handle, &division, MIDIPROP_SET | MIDIPROP_TIMEDIV);
        streams.midiStreamProperty(handle, &tempo, MIDIPROP_SET | MIDIPROP_TEMPO);
        header.dwFlags = 0;
        streams.midiOutPrepareHeader(handle, &header, 28);
        streams.midiStreamOut(handle, &header, 28);
        streams.midiStreamRestart(handle);
        auto received = receiver.waitReceived(count, std::chrono::milliseconds(at + 10000));
        streams.midiStreamClose(handle);
        otherCore.stop();
        stalls = watch.count() - stallsBefore;
        // Each interval between two arrivals against the file's, at the nominal rate, but for
        // those that span frames the server skipped in a stall: MIDI meant for them came late.
        errors.clear();
        lost = count - static_cast<int>(received.size());
        spoiled = 0;
        const auto gaps = watch.gaps();
        if (received.size() > 1) {
            const auto &first = received.front(), &last = received.back();
            const int a = first.bytes[1] + 128 * (first.bytes[2] - 1);
            const int b = last.bytes[1] + 128 * (last.bytes[2] - 1);
            framesPerClock = static_cast<std::int32_t>(last.frame - first.frame) /
                             (48.0 * static_cast<double>(fileMs[b] - fileMs[a]));
        }
        int previous = -1;
        std::uint32_t previousFrame = 0;
        for (const auto &arrival : received) {
            const int i = arrival.bytes[1] + 128 * (arrival.bytes[2] - 1);
            const bool stalled = std::any_of(gaps.begin(), gaps.end(), [&](std::uint32_t end) {
                return static_cast<std::int32_t>(end + test::JackServer::periodFrames -
                                                 previousFrame) >= 0 &&
                       static_cast<std::int32_t>(arrival.frame - end) >= 0;
            });
            spoiled += stalled;
            if (previous >= 0 && i == previous + 1 && !stalled) {
                const double fr = static_cast<std::int32_t>(arrival.frame - previousFrame);
                if (std::abs(fr - 48.0 * (fileMs[i] - fileMs[previous])) > 5)
                    fprintf(stderr, "BAD %d got %.0f want %.0f\n", i, fr,
                            48.0 * (fileMs[i] - fileMs[previous]));
                const double frames = static_cast<std::int32_t>(arrival.frame - previousFrame);
                errors.push_back(std::abs(frames - 48.0 * (fileMs[i] - fileMs[previous])));
            }
            previous = i;
            previousFrame = arrival.frame;
        }
    }
    std::sort(errors.begin(), errors.end());
    state.counters["p50_frames"] = errors[errors.size() / 2];
    state.counters["p99_frames"] = errors[errors.size() * 99 / 100];
    state.counters["worst_frames"] = errors.back();
    state.counters["over5_frames"] = static_cast<double>(
        std::count_if(errors.begin(), errors.end(), [](double e) { return e > 5; }));
    state.counters["server_stalls"] = stalls;
    state.counters["lost"] = lost;
    state.counters["handover_late_max_ms"] = handoverLateMs;
    // The dummy server's frames against the clock over the run: a busy machine slows them.
    state.counters["frame_rate_pct"] = framesPerClock * 100;
    state.counters["stalled_intervals"] = spoiled;
    state.counters["longest_stall_ms"] = watch.longestMs();
}
BENCHMARK(BM_JackArrival)
    ->ArgNames({"busy", "early", "fifo"})
    ->ArgsProduct({{0, 1}, {1, 0}, {1, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
} // namespace parlet

BENCHMARK_MAIN();
