#pragma once
// The sequencer's playback through the MIDI stream: the whole store converted into up to 100
// blocks of event records and queued at the start, so nothing has to be refilled while playing.
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/MidiStream.h"
#include "player/seq.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace parlet::sequencer {

inline constexpr std::size_t kBlockBytes = 64000;
inline constexpr std::int64_t kRecordsPerBlock = 5332; // 12-byte records: 63984 bytes
inline constexpr int kBlocks = 100;

// A store entry as the stream takes it: a short message unchanged (its top byte 0 marks it
// short), a tempo pseudo-event (low byte 0xFF) as a tempo record with the tempo in the low 24 bits.
std::uint32_t streamEvent(std::int32_t capEvent);

// Writes the records of entries `index` up to `count` - 1, at most kRecordsPerBlock of them, as
// little-endian words {delta, 0, event} from the start of `block`, and zeros after them.
// Advances `index`; returns the bytes recorded.
std::uint32_t fillBlock(const seq::CaptureBuffer &buffer, std::int64_t count, std::int64_t &index,
                        std::span<std::uint8_t, kBlockBytes> block);

class SeqStream final {
  public:
    SeqStream(MidiStream &streams, MessageBoxes &messages, Clock &clock);
    ~SeqStream(); // stops a playback still under way and releases its blocks
    SeqStream(const SeqStream &) = delete;
    SeqStream &operator=(const SeqStream &) = delete;

    enum class Start {
        NotStarted, // the stream could not be opened or refused the division: nothing changed
        Playing,
        RestartFailed, // the stream is closed; buffer 1's block stays for Stop to release
        OutOfMemory,   // a block could not be allocated; the user has been told
    };
    // Opens the stream on `device`, queues buffer 1, waits the 500 ms lead-in, starts the stream
    // and queues the rest while buffer 1 plays. `playing` runs once the stream is open and set up.
    Start start(std::int16_t device, std::int32_t division, const seq::CaptureBuffer &buffer,
                const std::function<void()> &playing);
    void pause();
    void resume();
    // Stops and closes the stream and releases every block of this playback, each once.
    void stop();
    // The last queued buffer has been played.
    bool lastBufferDone() const;
    // Milliseconds played; 0 when no stream is open.
    std::int64_t positionMs();

    // Rewinds with a negative `i`; otherwise fills, prepares and queues buffer `i` (1..100) and
    // returns whether the last entry has been converted.
    bool seqQueData(std::int16_t i);

    std::int16_t seqBufCount() const { return m_seqBufCount; }
    int blocksInUse() const;

  private:
    bool allocate(int index);
    // Stops the stream, unprepares every header and closes it; nothing when none is open.
    void closeStream();

    MidiStream &m_streams;
    MessageBoxes &m_messages;
    Clock &m_clock;
    HMIDISTRM seqOutHnd = 0;
    std::int16_t m_seqBufCount = 0;
    std::int64_t seqPlayIndex = 0;
    const seq::CaptureBuffer *m_buffer = nullptr;
    std::int64_t m_count = 0; // capCount when the playback started
    std::array<MIDIHDR, kBlocks> seqHdr;
    std::array<char *, kBlocks> seqBuf{};
    std::array<bool, kBlocks> m_prepared{}; // given to the system and not yet taken back
    std::array<std::uint8_t, kBlockBytes> m_scratch{};
};

} // namespace parlet::sequencer
