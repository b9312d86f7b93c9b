// Lateness of the stream scheduler on the real clock: each event's hand-off to the port against
// its ideal time. Also the scheduler's CPU use and the MIDI file reader's speed.
#include "platform/linux/stream/SmfReader.h"
#include "platform/linux/stream/StreamScheduler.h"

#include "BusyCore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <sys/resource.h>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class LatenessPort final : public MidiOutPort {
  public:
    explicit LatenessPort(std::vector<std::int64_t> &late) : m_late(late) {}
    // Only the notes played: the silencing at the end is not part of the timing.
    void send(std::span<const std::uint8_t> message, time_point when) override {
        if (message[0] == 0x90)
            m_late.push_back((Clock::now() - when).count());
    }

  private:
    std::vector<std::int64_t> &m_late;
};

struct Buffer {
    std::vector<char> bytes;
    MIDIHDR header;
};

// One tick a millisecond: division 1000 at one second a quarter.
void fill(Buffer &buffer, const std::vector<std::uint32_t> &deltas) {
    for (auto delta : deltas) {
        std::uint32_t words[3] = {delta, 0, 0x403C90};
        buffer.bytes.insert(buffer.bytes.end(), reinterpret_cast<char *>(words),
                            reinterpret_cast<char *>(words) + sizeof words);
    }
    buffer.header.lpData = buffer.bytes.data();
    buffer.header.dwBufferLength = static_cast<std::uint32_t>(buffer.bytes.size());
    buffer.header.dwBytesRecorded = buffer.header.dwBufferLength;
    buffer.header.dwFlags = MHDR_PREPARED;
}

// Plays the deltas on a real scheduler; returns the CPU seconds the process used meanwhile.
double play(const std::vector<std::uint32_t> &deltas, std::vector<std::int64_t> &late,
            bool realtime, bool *granted = nullptr) {
    Buffer buffer;
    fill(buffer, deltas);
    late.reserve(deltas.size());
    StreamScheduler scheduler(std::make_unique<SteadyStreamTimer>(),
                              std::make_unique<LatenessPort>(late), realtime);
    scheduler.setDivision(1000);
    scheduler.setTempo(1000000);
    scheduler.enqueue(&buffer.header);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    scheduler.restart();
    while (!(buffer.header.dwFlags.load() & MHDR_DONE))
        std::this_thread::sleep_for(20ms);
    getrusage(RUSAGE_SELF, &after);
    if (granted)
        *granted = scheduler.realtimeGranted();
    auto seconds = [](const rusage &r) {
        return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
               static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    return seconds(after) - seconds(before);
}

// Args: other core busy (0/1), ask for SCHED_FIFO (0/1).
void BM_Lateness(benchmark::State &state) {
    bool busy = state.range(0) != 0;
    bool realtime = state.range(1) != 0;
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> spacing(1, 5);
    std::vector<std::uint32_t> deltas(10000);
    for (auto &d : deltas)
        d = spacing(random);
    std::vector<std::int64_t> late;
    bool granted = false;
    for (auto _ : state) {
        BusyCore otherCore(busy);
        late.clear();
        play(deltas, late, realtime, &granted);
        otherCore.stop();
    }
    std::sort(late.begin(), late.end());
    auto at = [&](double q) {
        return static_cast<double>(late[static_cast<std::size_t>(q * (late.size() - 1))]) / 1000;
    };
    auto over = std::count_if(late.begin(), late.end(), [](auto ns) { return ns > 1000000; });
    state.counters["events"] = static_cast<double>(late.size());
    state.counters["p50_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = static_cast<double>(late.back()) / 1000;
    state.counters["late_1ms_pct"] = 100.0 * static_cast<double>(over) / late.size();
    state.counters["fifo"] = granted;
}
BENCHMARK(BM_Lateness)
    ->ArgNames({"busy", "fifo"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// 1,000 events a second for five seconds: the process's CPU time over the wall time, almost all
// of it the scheduler thread (the benchmark's own thread sleeps).
void BM_SchedulerCpu(benchmark::State &state) {
    std::vector<std::uint32_t> deltas(5000, 1);
    std::vector<std::int64_t> late;
    double cpu = 0;
    for (auto _ : state) {
        late.clear();
        cpu = play(deltas, late, false);
    }
    state.counters["cpu_pct_of_core"] = 100.0 * cpu / 5.0;
}
BENCHMARK(BM_SchedulerCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace parlet

BENCHMARK_MAIN();
