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

// Zero-initialised fixed memory for stream buffers, as the window code allocates and frees it.
// GMEM_FIXED | GMEM_ZEROINIT is the only kind there is; the block's address is its handle.
inline constexpr std::uint32_t GMEM_ZEROINIT = 0x40;
char *GlobalAlloc(std::uint32_t flags, std::size_t bytes);
// Null is accepted and ignored; returns null as the success value.
char *GlobalFree(char *block);
void RtlMoveMemory(void *destination, const void *source, std::size_t bytes);

// Owner of one stream buffer's block, for code that would rather not free by hand: a stream
// buffer is 64000 bytes, 5332 records of 12 bytes and zeros after them.
inline constexpr std::size_t streamBlockBytes = 64000;
struct GlobalBlockFree {
    void operator()(char *block) const { GlobalFree(block); }
};
using GlobalBlock = std::unique_ptr<char[], GlobalBlockFree>;
inline GlobalBlock allocateStreamBlock() {
    return GlobalBlock(GlobalAlloc(GMEM_ZEROINIT, streamBlockBytes));
}

} // namespace parlet
