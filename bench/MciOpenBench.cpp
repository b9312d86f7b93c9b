// Play in the main window, as far as the device goes: from "open" of a 533,200-event file
// through the first "play". The window is frozen meanwhile, so this must stay short.
#include "LargeSmf.h"
#include "platform/linux/stream/SequencerDevice.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

class NullPort final : public parlet::MidiOutPort {
  public:
    void send(std::span<const std::uint8_t>, time_point) override {}
};

class NullOutputs final : public parlet::MidiOutputs {
  public:
    parlet::MMRESULT openOutput(int, std::unique_ptr<parlet::MidiOutPort> &port) override {
        port = std::make_unique<NullPort>();
        return 0;
    }
};

void OpenToFirstPlay(benchmark::State &state) {
    const auto path = (std::filesystem::temp_directory_path() / "parlet-large.mid").string();
    if (!bench::writeLargeFile(path.c_str())) {
        state.SkipWithError("cannot write the test file");
        return;
    }
    NullOutputs outputs;
    for (auto _ : state) {
        auto mci = std::make_unique<parlet::SequencerDevice>(
            outputs, [] { return std::make_unique<parlet::SteadyStreamTimer>(); }, false);
        std::string reply;
        for (const std::string &command :
             {"open \"" + path + "\" type sequencer alias midio", std::string("set midio port  0"),
              std::string("status midio division type"), std::string("status midio length"),
              std::string("status midio tempo"), std::string("play midio")}) {
            if (mci->mciSendStringA(command, &reply, 255, 0) != 0)
                state.SkipWithError(command.c_str());
        }
        state.PauseTiming();
        mci.reset();
        state.ResumeTiming();
    }
    std::filesystem::remove(path);
}
BENCHMARK(OpenToFirstPlay)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

} // namespace

BENCHMARK_MAIN();
