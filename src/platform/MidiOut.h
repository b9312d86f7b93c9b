#pragma once
#include "MmTypes.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

namespace parlet {

// One open MIDI output, for the players that time their own events.
class MidiOutPort {
  public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~MidiOutPort() = default;
    // Sends one complete message (short or system exclusive) meant to sound at `when`. A port
    // that places events in time (JACK) queues it and emits it exactly at `when` plus a constant
    // latency of at most one period; others send it at once. Messages come in order of `when`.
    virtual void send(std::span<const std::uint8_t> message, time_point when) = 0;
    // How long before its time a message should be handed over: zero for a port that sends at
    // once. Longer than the sender's worst wake-up, so that a late wake-up costs no accuracy.
    virtual std::chrono::nanoseconds lookahead() const { return std::chrono::nanoseconds{0}; }
    // Withdraws every message meant for later than `cut` that has not gone out, and returns how
    // many it withdrew (the last ones sent). Messages meant for `cut` or earlier still go out.
    virtual std::size_t takeBack(time_point cut) {
        (void)cut;
        return 0;
    }
};

class MidiOutputs {
  public:
    virtual ~MidiOutputs() = default;
    // Device -1 is the default output, which routes to device 0. MMSYSERR_BADDEVICEID when the
    // device does not exist.
    virtual MMRESULT openOutput(int deviceId, std::unique_ptr<MidiOutPort> &port) = 0;
};

} // namespace parlet
