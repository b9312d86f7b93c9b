#pragma once
// The capture buffer: the one store of MIDI events for the whole run. The main window's capture
// and the sequencer window fill it from the MIDI driver's thread and reset, read and save it from
// the window thread.
#include "platform/MmTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace parlet::seq {

// The tempo pseudo-event that a reset puts into entry 0: 500000 microseconds per quarter note.
inline constexpr std::int32_t kTempoEntry = 0x07A120FF;
// Slots of the first chunk; each later chunk doubles the slots (see CaptureBuffer).
inline constexpr std::int64_t kFirstChunk = 1024;

// Trivial on purpose: new chunks are allocated without being cleared (see capAppend).
struct Entry {
    std::int32_t event; // MidiEventWord
    std::int32_t time;  // milliseconds, absolute while recording, delta after capToDeltas
};

// Parallel arrays capEvent/capTime with the fill count capCount. The entries live in chunks that
// never move, each allocated when the count first reaches it, so growth costs the appending
// thread one allocation and no copy.
//
// Threads: capAppend may be called from any thread (the MIDI driver's); capReset, capToDeltas and
// the readers belong to the window thread. Appends take a lock that only other appends and
// capReset take, so the window thread's reads never make the driver's thread wait, and a
// published entry is never moved or changed by an append.
class CaptureBuffer final {
  public:
    CaptureBuffer(); // starts empty: capCount 0, no slots
    ~CaptureBuffer();
    CaptureBuffer(const CaptureBuffer &) = delete;
    CaptureBuffer &operator=(const CaptureBuffer &) = delete;

    // Entry 0 := the tempo entry at time 0, capCount := 1: earlier contents are dropped.
    void capReset();
    // capCount := 0, as before the first reset: the buffer holds nothing until the next reset.
    void capClear();
    // Stores the entry at capCount. Dropped while the buffer is empty: an entry without the
    // tempo entry before it means nothing.
    void capAppend(std::int32_t event, std::int32_t time);
    // Absolute times to deltas: entries 0 and 1 get 0, every later one the difference to its
    // predecessor.
    void capToDeltas();

    std::int64_t capCount() const;
    // 0 for a slot that has not been written since the last reset.
    std::int32_t capEvent(std::int64_t index) const;
    std::int32_t capTime(std::int64_t index) const;

    // capCount and the time of the newest entry minus that of entry 0, read together.
    struct Newest {
        std::int64_t count = 0;
        std::int64_t elapsed = 0;
    };
    Newest newest() const;

    // A copy of entries 0 to capCount - 1.
    std::vector<Entry> entries() const;

  private:
    // Chunk 0 holds slots 0-1023, chunk k >= 1 the 1024 x 2^(k-1) slots from 1024 x 2^(k-1):
    // each chunk is allocated when the first entry is stored in it, and kept until the buffer
    // goes, so no entry ever moves and no reader can lose the memory under it.
    static constexpr std::size_t kChunks = 54;
    struct Place {
        std::size_t chunk;
        std::int64_t offset;
    };
    static Place locate(std::int64_t index);
    static std::int64_t chunkStart(std::size_t chunk);
    static std::int64_t chunkSize(std::size_t chunk);
    Entry &slot(std::int64_t index) const;

    std::mutex m_appendMutex;
    std::array<std::unique_ptr<Entry[]>, kChunks> m_chunks;
    // Stored with release after the entry below it has been written, so that a reader that loads
    // it with acquire sees every entry under it.
    std::atomic<std::int64_t> m_count = 0;
};

// The one buffer of the run, shared by the capture recorder and the sequencer window.
CaptureBuffer &buffer();

// The capture recorder's MIDI-input callback. `instance` is the CaptureBuffer to append to. Only
// short messages (MIM_DATA) are stored; system real-time messages (0xF8-0xFF) are dropped.
void capMidiInProc(HMIDIIN handle, std::uint32_t msg, std::uintptr_t instance,
                   std::uintptr_t param1, std::uintptr_t param2);

} // namespace parlet::seq
