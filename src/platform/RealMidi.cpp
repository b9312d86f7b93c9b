#include "RealServices.h"

namespace parlet {
namespace {

// Placeholder until the ALSA/JACK backend lands: no devices.
class NoMidiSystem final : public MidiSystem {
  public:
    unsigned midiInGetNumDevs() override { return 0; }
    unsigned midiOutGetNumDevs() override { return 0; }
    MMRESULT midiInGetDevCapsA(int, MIDIINCAPS &) override { return MMSYSERR_BADDEVICEID; }
    MMRESULT midiOutGetDevCapsA(int, MIDIOUTCAPS &) override { return MMSYSERR_BADDEVICEID; }
    MMRESULT midiInOpen(HMIDIIN *, int, MidiInProc, std::uintptr_t, std::uint32_t) override {
        return MMSYSERR_BADDEVICEID;
    }
    MMRESULT midiInStart(HMIDIIN) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiInStop(HMIDIIN) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiInClose(HMIDIIN) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT openOutput(int, std::unique_ptr<MidiOutPort> &) override {
        return MMSYSERR_BADDEVICEID;
    }
};

} // namespace

std::unique_ptr<MidiSystem> makeRealMidiSystem() {
    return std::make_unique<NoMidiSystem>();
}

} // namespace parlet
