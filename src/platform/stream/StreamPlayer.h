#pragma once
#include "platform/MidiOut.h"
#include "platform/MidiStream.h"

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace parlet {

// The timing core of a MIDI stream, without threads: a queue of event buffers, the time division
// and tempo, and the mapping of musical time to the clock. The owner calls pump() with the
// current time whenever it wakes; pump() sends what is due and says when to wake next.
//
// Musical time is computed absolutely from the start of playback (accumulated ticks x tempo,
// divided once by the division), so long pieces do not drift. The clock maps to musical time
// through an anchor that moves only at restart, pause and speed changes, so pauses leave no
// trace in the timing and a resume continues exactly where playback stopped.
class StreamPlayer final {
  public:
    using time_point = std::chrono::steady_clock::time_point;
    using nanoseconds = std::chrono::nanoseconds;

    explicit StreamPlayer(MidiOutPort &out) : m_out(out) {}

    // Ticks per quarter note (1..0x7FFF), or with bit 15 set: minus the frames per second
    // (24, 25, 29 = 30 drop frame, 30) in the high byte and ticks per frame in the low byte.
    MMRESULT setDivision(std::uint32_t division);
    std::uint32_t division() const { return m_division; }
    // Microseconds per quarter note; ignored by SMPTE divisions.
    MMRESULT setTempo(std::uint32_t microsPerQuarter);
    std::uint32_t tempo() const { return m_tempo; }
    // Playing speed as a factor of the nominal tempo; takes effect at `now` without a jump.
    MMRESULT setSpeed(double factor, time_point now);

    // Checks the records and appends the buffer to the queue; its done bit is cleared.
    MMRESULT enqueue(MIDIHDR *header);
    void restart(time_point now);
    // Silences sounding notes; position and queue stay.
    void pause(time_point now);
    // Silences everything, returns every buffer with its done bit set and rewinds to 0.
    void stop(time_point now);

    bool playing() const { return m_playing; }
    bool queueEmpty() const { return m_queue.empty(); }
    // Musical time played, pauses not counted.
    nanoseconds position(time_point now) const;
    // Ticks played, continuing between events at the tempo in force.
    std::uint64_t positionTicks(time_point now) const;

    // Sends every event due at or before `now` and returns when the next one is due (nullopt
    // when paused or nothing is queued).
    std::optional<time_point> pump(time_point now);

    // Byte length of a short message by its status; 0 for a byte that cannot start one.
    static unsigned shortLength(std::uint8_t status);
    static bool validDivision(std::uint32_t division);

  private:
    struct Pending {
        std::uint64_t tick;
        std::uint32_t event;
        std::size_t next; // offset of the following record
    };
    std::optional<Pending> peek() const;
    nanoseconds musicalTime(std::uint64_t tick) const;
    time_point clockTime(nanoseconds musical) const;
    void send(const std::uint8_t *bytes, std::size_t length, time_point when);
    void sendShort(std::uint32_t word, time_point when);
    void silence(time_point now, bool allChannels);
    void finishFront();

    MidiOutPort &m_out;
    std::uint32_t m_division = 96;
    std::uint32_t m_tempo = 500000;
    std::uint32_t m_baseTempo = 500000; // the tempo a stop returns to

    // Tempo segment in force: from m_segmentTick on, each tick adds m_tempo to the sum of
    // microsecond-ticks, which the division turns into musical time.
    std::uint64_t m_segmentTick = 0;
    std::uint64_t m_segmentMicroTicks = 0;
    std::uint64_t m_tick = 0; // tick of the last event sent

    bool m_playing = false;
    double m_speed = 1.0;
    time_point m_anchorClock{};
    nanoseconds m_anchorMusical{0};

    std::deque<MIDIHDR *> m_queue;
    std::size_t m_offset = 0; // into the front buffer

    std::uint8_t m_runningStatus = 0;
    std::array<std::bitset<128>, 16> m_sounding{};
};

} // namespace parlet
