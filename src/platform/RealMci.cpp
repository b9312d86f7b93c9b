#include "RealServices.h"

namespace parlet {
namespace {

// Placeholder until the sequencer device lands: every command fails.
class NoMci final : public Mci {
  public:
    MMRESULT mciSendStringA(const std::string &, std::string *, unsigned, std::uintptr_t) override {
        return 263; // MCIERR_INVALID_DEVICE_NAME
    }
    bool mciGetErrorStringA(MMRESULT, std::string &text, unsigned) override {
        text = "The MIDI sequencer device is not available.";
        return true;
    }
};

} // namespace

std::unique_ptr<Mci> makeRealMci(MidiSystem &) {
    return std::make_unique<NoMci>();
}

} // namespace parlet
