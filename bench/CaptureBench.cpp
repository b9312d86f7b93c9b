// The capture path under load: appends racing the window thread's reads, the driver callback's
// worst single call over a long capture, and saving a large capture.
#include "player/SmfWriter.h"
#include "player/seq.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace parlet;
using Clock = std::chrono::steady_clock;

// The window thread at its busiest: the count and newest time read without pause, and now and
// then the whole buffer copied.
class Reader {
  public:
    Reader(const seq::CaptureBuffer &buffer, bool copies)
        : m_copies(copies), m_thread([this, &buffer] {
              std::int64_t passes = 0;
              while (!m_stop.load(std::memory_order_relaxed)) {
                  benchmark::DoNotOptimize(buffer.newest());
                  if (++passes % 1000 == 0 && m_copies)
                      benchmark::DoNotOptimize(buffer.entries().size());
              }
          }) {}
    ~Reader() {
        m_stop = true;
        m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    const bool m_copies;
    std::thread m_thread;
};

void BM_AppendWithConcurrentReader(benchmark::State &state) {
    seq::CaptureBuffer buffer;
    constexpr std::int32_t kBatch = 100000;
    for (auto _ : state) {
        buffer.capReset(); // the window thread's, like the reads
        Reader reader(buffer, false);
        for (std::int32_t i = 0; i < kBatch; ++i)
            buffer.capAppend(0x00643C90, i);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_AppendWithConcurrentReader)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every call of the driver callback timed alone over a 1,000,000-event capture from a fresh
// reset, growth included, while the window thread reads the count (argument 0) or also copies
// the whole buffer now and then (argument 1).
// Runs the calling thread at real-time priority while it lives, as the MIDI driver's thread runs,
// so that the figures show the callback rather than the scheduler of a busy machine. Without the
// privilege the thread keeps its priority and `realtime` reads 0.
class RealTimePriority {
  public:
    RealTimePriority() {
        pthread_getschedparam(pthread_self(), &m_policy, &m_param);
        sched_param rt{};
        rt.sched_priority = 20;
        m_raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &rt) == 0;
    }
    ~RealTimePriority() {
        if (m_raised)
            pthread_setschedparam(pthread_self(), m_policy, &m_param);
    }
    bool raised() const { return m_raised; }

  private:
    int m_policy = SCHED_OTHER;
    sched_param m_param{};
    bool m_raised = false;
};

void BM_CallbackWorstCase(benchmark::State &state) {
    RealTimePriority priority;
    constexpr std::int32_t kEvents = 1000000;
    std::vector<double> micros(kEvents);
    double worst = 0;
    double growthWorst = 0;
    double p9999 = 0;
    std::int64_t over100 = 0;
    for (auto _ : state) {
        // Rest between captures so the kernel's real-time budget (950 ms a second) never
        // throttles the thread in the middle of one.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // A fresh buffer each time, so that every chunk is allocated during the capture.
        auto buffer = std::make_unique<seq::CaptureBuffer>();
        buffer->capReset();
        auto instance = reinterpret_cast<std::uintptr_t>(buffer.get());
        std::optional<Reader> reader;
        if (state.range(0) >= 0)
            reader.emplace(*buffer, state.range(0) != 0);
        for (std::int32_t i = 0; i < kEvents; ++i) {
            auto start = Clock::now();
            seq::capMidiInProc(1, MIM_DATA, instance, 0x00643C90, static_cast<std::uintptr_t>(i));
            micros[static_cast<std::size_t>(i)] =
                std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        }
        // The calls that grew the upper index: entry i + 1 lands at index 1024 x 2^k.
        for (std::size_t index = 1024; index <= micros.size(); index *= 2)
            growthWorst = std::max(growthWorst, micros[index - 1]);
        std::vector<double> sorted = micros;
        std::sort(sorted.begin(), sorted.end());
        worst = std::max(worst, sorted.back());
        p9999 = std::max(p9999, sorted[sorted.size() * 9999 / 10000]);
        over100 += std::count_if(sorted.begin(), sorted.end(), [](double us) { return us > 100; });
    }
    state.counters["worst_us"] = worst;
    state.counters["growth_worst_us"] = growthWorst;
    state.counters["p99.99_us"] = p9999;
    state.counters["calls_over_100us"] = static_cast<double>(over100);
    state.counters["realtime"] = priority.raised() ? 1 : 0;
}
BENCHMARK(BM_CallbackWorstCase)
    ->Arg(-1)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

void fillCapture(seq::CaptureBuffer &buffer, std::int32_t events) {
    buffer.capReset();
    for (std::int32_t i = 0; i < events; ++i)
        buffer.capAppend(i % 2 ? 0x00403C80 : 0x00643C90, i * 7);
}

void BM_WriteCapture(benchmark::State &state) {
    seq::CaptureBuffer buffer;
    fillCapture(buffer, static_cast<std::int32_t>(state.range(0)));
    std::string path = "/tmp/parlet-bench-" + std::to_string(::getpid()) + ".mid";
    for (auto _ : state) {
        auto result = smf::writeFile(path, buffer.entries(), smf::DeltaMode::Absolute);
        if (!result.ok())
            state.SkipWithError(result.error.c_str());
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteCapture)->Arg(533200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeCapture(benchmark::State &state) {
    seq::CaptureBuffer buffer;
    fillCapture(buffer, static_cast<std::int32_t>(state.range(0)));
    auto entries = buffer.entries();
    for (auto _ : state)
        benchmark::DoNotOptimize(smf::encode(entries, smf::DeltaMode::Absolute).bytes.size());
}
BENCHMARK(BM_EncodeCapture)->Arg(533200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
