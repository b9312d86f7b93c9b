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
// current time whenever it wakes; pump() hands the port what is due within its lookahead and
// says when to wake next. Whatever changes the future (pause, stop, a tempo or speed change)
// first takes back from the port what is meant for later than now, and hands it over again.
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
    // Microseconds per quarter note from the last event played on; ignored by SMPTE divisions.
    MMRESULT setTempo(std::uint32_t microsPerQuarter, time_point now);
    std::uint32_t tempo() const { return m_cursor.tempo; }
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

    // Hands over every event due up to the port's lookahead after `now`, marks the buffers
    // played through `now` done, and returns when to call again (nullopt when paused or nothing
    // is queued).
    std::optional<time_point> pump(time_point now);

    // Byte length of a short message by its status; 0 for a byte that cannot start one.
    static unsigned shortLength(std::uint8_t status);
    static bool validDivision(std::uint32_t division);

  private:
    // Where the reading stands, and everything that reading an event changes.
    struct Cursor {
        std::size_t header = 0; // into m_queue
        std::size_t offset = 0; // into that buffer
        std::uint64_t tick = 0; // of the last event read
        // Tempo segment in force: from segmentTick on, each tick adds tempo to the sum of
        // microsecond-ticks, which the division turns into musical time.
        std::uint64_t segmentTick = 0;
        std::uint64_t segmentMicroTicks = 0;
        std::uint32_t tempo = 500000;
        std::uint8_t runningStatus = 0;
    };
    // An event handed over whose time has not come: how to read it again if it is taken back.
    struct Handed {
        time_point when;
        Cursor before;
        bool sent = false;                  // a message went to the port
        std::array<std::uint8_t, 3> note{}; // a short message sent, for the sounding notes
    };
    struct Pending {
        std::uint64_t tick;
        std::uint32_t event;
        std::size_t next; // offset of the following record
    };
    std::optional<Pending> peek() const;
    nanoseconds musicalTime(std::uint64_t tick) const;
    time_point clockTime(nanoseconds musical) const;
    Handed handOver(const Pending &pending, time_point when);
    // Counts what is due by `now` as played and marks the buffers behind it done.
    void settle(time_point now);
    // Takes back from the port what is meant for later than `now`; reading resumes there.
    void takeBack(time_point now);
    void trackSounding(const std::array<std::uint8_t, 3> &message);
    void silence(time_point now, bool allChannels);
    void finishFront();
    // When the front buffer's last event handed over is due, if it is read to its end.
    std::optional<time_point> frontFinish() const;

    MidiOutPort &m_out;
    std::uint32_t m_division = 96;
    std::uint32_t m_baseTempo = 500000; // the tempo a stop returns to
    Cursor m_cursor;

    bool m_playing = false;
    double m_speed = 1.0;
    time_point m_anchorClock{};
    nanoseconds m_anchorMusical{0};

    std::deque<MIDIHDR *> m_queue;                 // buffers not yet done
    std::deque<Handed> m_handed;                   // in order of time
    std::array<std::bitset<128>, 16> m_sounding{}; // by the messages played
};

} // namespace parlet
