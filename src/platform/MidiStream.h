#pragma once
#include "MmTypes.h"

#include <atomic>
#include <cstdint>

namespace parlet {

inline constexpr std::uint32_t MHDR_DONE = 0x1;
inline constexpr std::uint32_t MHDR_PREPARED = 0x2;
inline constexpr std::uint32_t MHDR_INQUEUE = 0x4;

inline constexpr std::uint32_t MIDIPROP_SET = 0x80000000;
inline constexpr std::uint32_t MIDIPROP_GET = 0x40000000;
inline constexpr std::uint32_t MIDIPROP_TIMEDIV = 0x00000001;
inline constexpr std::uint32_t MIDIPROP_TEMPO = 0x00000002;

inline constexpr std::uint32_t MEVT_SHORTMSG = 0x00;
inline constexpr std::uint32_t MEVT_TEMPO = 0x01;
inline constexpr std::uint32_t MEVT_NOP = 0x02;
inline constexpr std::uint32_t MEVT_LONGMSG = 0x80;
// Flags in the event word: parameters (a long message's bytes, padded to whole words) follow
// the record; the callback flag is accepted and ignored, no callback being supported.
inline constexpr std::uint32_t MEVT_F_LONG = 0x80000000;
inline constexpr std::uint32_t MEVT_F_CALLBACK = 0x40000000;

inline constexpr std::uint32_t TIME_MS = 0x0001;

// A buffer of 12-byte event records {delta ticks, stream id, event}, little-endian words.
// dwFlags is written by the player's thread and polled by the window thread. The record has the
// layout of the system's own on 64-bit Windows, byte-packed as the system declares it, whose
// stream service writes all of it; aligned as a whole, so that dwFlags is.
#pragma pack(push, 1)
struct alignas(8) MIDIHDR {
    char *lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::atomic<std::uint32_t> dwFlags{0};
    MIDIHDR *lpNext = nullptr;
    std::uintptr_t reserved = 0;
    std::uint32_t dwOffset = 0;
    std::uintptr_t dwReserved[8] = {};
};
#pragma pack(pop)

struct MIDIPROPTIMEDIV {
    std::uint32_t cbStruct = 8;
    std::uint32_t dwTimeDiv = 0;
};

struct MMTIME {
    std::uint32_t wType = TIME_MS;
    std::uint32_t ms = 0;
};

// Timed MIDI output: one device, buffers played strictly in queue order. The stream starts paused.
class MidiStream {
  public:
    virtual ~MidiStream() = default;
    virtual MMRESULT midiStreamOpen(HMIDISTRM *handle, unsigned *deviceId, unsigned cMidi,
                                    std::uintptr_t callback, std::uintptr_t instance,
                                    std::uint32_t flags) = 0;
    virtual MMRESULT midiStreamProperty(HMIDISTRM handle, void *propData,
                                        std::uint32_t property) = 0;
    virtual MMRESULT midiOutPrepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned size) = 0;
    virtual MMRESULT midiOutUnprepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned size) = 0;
    virtual MMRESULT midiStreamOut(HMIDISTRM handle, MIDIHDR *header, unsigned size) = 0;
    virtual MMRESULT midiStreamRestart(HMIDISTRM handle) = 0;
    virtual MMRESULT midiStreamPause(HMIDISTRM handle) = 0;
    // Silences what sounds and returns every queued buffer with its done bit set.
    virtual MMRESULT midiStreamStop(HMIDISTRM handle) = 0;
    virtual MMRESULT midiStreamClose(HMIDISTRM handle) = 0;
    // Milliseconds played since the start, pauses not counted.
    virtual MMRESULT midiStreamPosition(HMIDISTRM handle, MMTIME *time, unsigned size) = 0;
};

} // namespace parlet
