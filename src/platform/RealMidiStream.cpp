#include "RealServices.h"

namespace parlet {
namespace {

// Placeholder until the stream scheduler lands: no stream can be opened.
class NoMidiStream final : public MidiStream {
  public:
    MMRESULT midiStreamOpen(HMIDISTRM *, unsigned *, unsigned, std::uintptr_t, std::uintptr_t,
                            std::uint32_t) override {
        return MMSYSERR_NODRIVER;
    }
    MMRESULT midiStreamProperty(HMIDISTRM, void *, std::uint32_t) override {
        return MMSYSERR_INVALHANDLE;
    }
    MMRESULT midiOutPrepareHeader(HMIDISTRM, MIDIHDR *, unsigned) override {
        return MMSYSERR_INVALHANDLE;
    }
    MMRESULT midiOutUnprepareHeader(HMIDISTRM, MIDIHDR *, unsigned) override {
        return MMSYSERR_INVALHANDLE;
    }
    MMRESULT midiStreamOut(HMIDISTRM, MIDIHDR *, unsigned) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiStreamRestart(HMIDISTRM) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiStreamPause(HMIDISTRM) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiStreamStop(HMIDISTRM) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiStreamClose(HMIDISTRM) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiStreamPosition(HMIDISTRM, MMTIME *, unsigned) override {
        return MMSYSERR_INVALHANDLE;
    }
};

} // namespace

std::unique_ptr<MidiStream> makeRealMidiStream(MidiSystem &) {
    return std::make_unique<NoMidiStream>();
}

} // namespace parlet
