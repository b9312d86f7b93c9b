#pragma once
#include "StreamScheduler.h"
#include "platform/MidiOut.h"
#include "platform/MidiStream.h"

#include <map>
#include <memory>
#include <mutex>

namespace parlet {

// The MIDI stream calls over any output backend: each open stream gets its own port and
// scheduler thread. Handles start at 1; 0 is never a valid handle.
class StreamService final : public MidiStream {
  public:
    StreamService(MidiOutputs &outputs, StreamTimerFactory timers, bool realtime);
    ~StreamService() override;

    MMRESULT midiStreamOpen(HMIDISTRM *handle, unsigned *deviceId, unsigned cMidi,
                            std::uintptr_t callback, std::uintptr_t instance,
                            std::uint32_t flags) override;
    MMRESULT midiStreamProperty(HMIDISTRM handle, void *propData, std::uint32_t property) override;
    MMRESULT midiOutPrepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned size) override;
    MMRESULT midiOutUnprepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned size) override;
    MMRESULT midiStreamOut(HMIDISTRM handle, MIDIHDR *header, unsigned size) override;
    MMRESULT midiStreamRestart(HMIDISTRM handle) override;
    MMRESULT midiStreamPause(HMIDISTRM handle) override;
    MMRESULT midiStreamStop(HMIDISTRM handle) override;
    MMRESULT midiStreamClose(HMIDISTRM handle) override;
    MMRESULT midiStreamPosition(HMIDISTRM handle, MMTIME *time, unsigned size) override;

    // The size the window code passes with each header: the first seven 32-bit fields.
    static constexpr unsigned headerSize = 28;

  private:
    std::shared_ptr<StreamScheduler> find(HMIDISTRM handle);
    // Runs one control of an open stream; MMSYSERR_INVALHANDLE for an unknown handle.
    MMRESULT onStream(HMIDISTRM handle, void (StreamScheduler::*control)());

    MidiOutputs &m_outputs;
    StreamTimerFactory m_timers;
    bool m_realtime;
    std::mutex m_mutex; // guards the handle table, not the streams
    std::map<HMIDISTRM, std::shared_ptr<StreamScheduler>> m_streams;
    HMIDISTRM m_next = 1;
};

} // namespace parlet
