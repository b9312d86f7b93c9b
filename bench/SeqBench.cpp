// The sequencer window's two heavy steps: loading a large format-0 file into the store, and
// starting the playback of a full store (the 500 ms lead-in, then 99 more buffers queued while
// buffer 1 plays).
#include "platform/linux/stream/StreamService.h"
#include "sequencer/SeqLoader.h"
#include "sequencer/SeqStream.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// 533,200 note and controller events with one- and two-byte deltas: about 2.3 MB.
std::vector<std::uint8_t> largeFile() {
    std::vector<std::uint8_t> file{'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
                                   1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 0};
    std::uint32_t seed = 12345;
    for (std::uint32_t i = 0; i < 533200; ++i) {
        seed = seed * 1103515245 + 12345;
        std::uint32_t delta = (seed >> 16) % 200;
        if (delta >= 128)
            file.push_back(static_cast<std::uint8_t>(0x80 | delta >> 7));
        file.push_back(static_cast<std::uint8_t>(delta & 0x7F));
        auto channel = static_cast<std::uint8_t>(i % 16);
        if (i % 50 == 49)
            file.insert(file.end(), {static_cast<std::uint8_t>(0xB0 | channel), 7, 100});
        else
            file.insert(file.end(), {static_cast<std::uint8_t>(0x90 | channel),
                                     static_cast<std::uint8_t>(36 + (seed >> 8) % 48),
                                     static_cast<std::uint8_t>(i % 2 ? 0 : 90)});
    }
    file.insert(file.end(), {0, 0xFF, 0x2F, 0});
    auto length = static_cast<std::uint32_t>(file.size() - 22);
    for (int i = 0; i < 4; ++i)
        file[18 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    return file;
}

struct OneFileDialog final : FileDialogs {
    std::string path;
    std::optional<std::string> ShowOpen(const FileDialogRequest &) override { return path; }
    std::optional<std::string> ShowSave(const FileDialogRequest &) override { return path; }
};
struct CountedMessages final : MessageBoxes {
    int shown = 0;
    void MsgBox(const std::string &) override { ++shown; }
};
struct RealClock final : Clock {
    time_point now() override { return SteadyClock::now(); }
    void Sleep(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

void BM_LoadLargeFile(benchmark::State &state) {
    QTemporaryDir dir;
    OneFileDialog dialog;
    dialog.path = dir.filePath(QStringLiteral("large.mid")).toStdString();
    auto bytes = largeFile();
    std::FILE *out = std::fopen(dialog.path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    CountedMessages messages;
    seq::CaptureBuffer buffer;
    sequencer::SeqFileInfo info;
    std::string midDir, midFile;
    for (auto _ : state)
        sequencer::loadMidiFile(dialog, messages, midDir, midFile, buffer, info);
    if (buffer.capCount() != 533201 || messages.shown != 0)
        state.SkipWithError("the file did not load whole");
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_LoadLargeFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// An output that notes when the first message reaches it.
struct FirstSendOutputs final : MidiOutputs {
    std::atomic<SteadyClock::rep> firstSend{0};
    struct Port final : MidiOutPort {
        std::atomic<SteadyClock::rep> &first;
        explicit Port(std::atomic<SteadyClock::rep> &at) : first(at) {}
        void send(std::span<const std::uint8_t>, time_point) override {
            SteadyClock::rep none = 0;
            first.compare_exchange_strong(none, SteadyClock::now().time_since_epoch().count());
        }
    };
    MMRESULT openOutput(int, std::unique_ptr<MidiOutPort> &port) override {
        port = std::make_unique<Port>(firstSend);
        return MMSYSERR_NOERROR;
    }
};

// The real stream service, with the moment of the start and of the last buffer queued noted.
struct NotingStream final : MidiStream {
    MidiStream &real;
    SteadyClock::time_point restarted{}, lastQueued{};
    explicit NotingStream(MidiStream &stream) : real(stream) {}
    MMRESULT midiStreamOpen(HMIDISTRM *h, unsigned *d, unsigned n, std::uintptr_t c,
                            std::uintptr_t i, std::uint32_t f) override {
        return real.midiStreamOpen(h, d, n, c, i, f);
    }
    MMRESULT midiStreamProperty(HMIDISTRM h, void *p, std::uint32_t f) override {
        return real.midiStreamProperty(h, p, f);
    }
    MMRESULT midiOutPrepareHeader(HMIDISTRM h, MIDIHDR *m, unsigned s) override {
        return real.midiOutPrepareHeader(h, m, s);
    }
    MMRESULT midiOutUnprepareHeader(HMIDISTRM h, MIDIHDR *m, unsigned s) override {
        return real.midiOutUnprepareHeader(h, m, s);
    }
    MMRESULT midiStreamOut(HMIDISTRM h, MIDIHDR *m, unsigned s) override {
        auto result = real.midiStreamOut(h, m, s);
        lastQueued = SteadyClock::now();
        return result;
    }
    MMRESULT midiStreamRestart(HMIDISTRM h) override {
        restarted = SteadyClock::now();
        return real.midiStreamRestart(h);
    }
    MMRESULT midiStreamPause(HMIDISTRM h) override { return real.midiStreamPause(h); }
    MMRESULT midiStreamStop(HMIDISTRM h) override { return real.midiStreamStop(h); }
    MMRESULT midiStreamClose(HMIDISTRM h) override { return real.midiStreamClose(h); }
    MMRESULT midiStreamPosition(HMIDISTRM h, MMTIME *t, unsigned s) override {
        return real.midiStreamPosition(h, t, s);
    }
};

// Iteration time: from the click to the first event handed to the port.
void BM_PlayFullStore(benchmark::State &state) {
    seq::CaptureBuffer buffer;
    buffer.capReset();
    for (std::int32_t i = 1; i < 533200; ++i)
        buffer.capAppend(0x00643C90 + (i % 2) * 0x10, i == 1 ? 0 : 1);
    FirstSendOutputs outputs;
    StreamService service(
        outputs, [] { return std::make_unique<SteadyStreamTimer>(); }, true);
    NotingStream stream(service);
    CountedMessages messages;
    RealClock clock;
    double queueMs = 0, blocksMB = 0;
    int leftAfterStop = 0;
    for (auto _ : state) {
        sequencer::SeqStream player(stream, messages, clock);
        outputs.firstSend = 0;
        auto click = SteadyClock::now();
        auto started = player.start(0, 500, buffer, [] {});
        while (outputs.firstSend == 0)
            std::this_thread::yield();
        SteadyClock::time_point first{SteadyClock::duration(outputs.firstSend.load())};
        state.SetIterationTime(std::chrono::duration<double>(first - click).count());
        queueMs = std::max(
            queueMs, std::chrono::duration<double, std::milli>(stream.lastQueued - stream.restarted)
                         .count());
        blocksMB = player.blocksInUse() * double(sequencer::kBlockBytes) / 1e6;
        if (started != sequencer::SeqStream::Start::Playing || player.seqBufCount() != 100)
            state.SkipWithError("the playback did not start with 100 buffers");
        player.stop();
        leftAfterStop += player.blocksInUse();
    }
    state.counters["queue_all_ms"] = queueMs;
    state.counters["blocks_MB"] = blocksMB;
    state.counters["blocks_left_after_stop"] = leftAfterStop;
}
BENCHMARK(BM_PlayFullStore)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace parlet

BENCHMARK_MAIN();
