#pragma once
// Timed output as tests drive it: a clock that moves only when told, scheduler threads that
// the test can wait for until they are blocked, and output ports that record what they send.
#include "platform/MidiOut.h"
#include "platform/linux/stream/StreamTimer.h"

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

namespace parlet::fakes {

struct FakeStreamTimer;

class FakeStreamClock final {
  public:
    using time_point = StreamTimer::time_point;

    // For a StreamService or SequencerDevice: every timer made runs on this clock.
    StreamTimerFactory factory();
    time_point now() const { return time_point(std::chrono::nanoseconds(m_now.load())); }
    // Moves the clock, then waits until every scheduler thread has sent what is due.
    void advanceTo(time_point when);
    void advance(std::chrono::nanoseconds by) { advanceTo(now() + by); }
    // Waits until every scheduler thread is blocked with nothing due (fails the test after a
    // few seconds of real time).
    void settle();

  private:
    friend struct FakeStreamTimer;
    // Runs `check` on every timer (with its engine's mutex held): whether it held for all.
    bool eachTimer(bool (*check)(FakeStreamTimer &));
    std::mutex m_registry;
    std::set<FakeStreamTimer *> m_timers;
    std::atomic<std::int64_t> m_now{10'000'000'000}; // 10 s: not zero, which could pass for unset
};

struct SentMessage {
    std::vector<std::uint8_t> bytes;
    MidiOutPort::time_point when;
    bool operator==(const SentMessage &) const = default;
};

// Ports on any device, all appending to `sent` and handed messages 20 ms ahead; a message taken
// back is removed from what was sent, unless it falls within `ranAhead` of the cut: a port whose
// cycle ran ahead of the player's clock has let it out already.
struct FakeMidiOutputs final : MidiOutputs {
    MMRESULT openOutput(int deviceId, std::unique_ptr<MidiOutPort> &port) override;
    std::vector<SentMessage> sent();
    void clear();

    std::mutex mutex; // guards `messages`, what the ports sent
    std::vector<SentMessage> messages;
    std::chrono::nanoseconds ranAhead{0};
    MMRESULT refusal = MMSYSERR_NOERROR; // what opening a port answers; it opens on NOERROR only
};

} // namespace parlet::fakes
