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
    // Sends one complete message (short or system exclusive) meant to sound at `when`, a
    // steady-clock time that is now or shortly ahead. A port that can place events in time
    // (JACK) emits it exactly at `when` plus a constant latency of at most one period; others
    // send it at once.
    virtual void send(std::span<const std::uint8_t> message, time_point when) = 0;
};

class MidiOutputs {
  public:
    virtual ~MidiOutputs() = default;
    // Device -1 is the default output, which routes to device 0. MMSYSERR_BADDEVICEID when the
    // device does not exist.
    virtual MMRESULT openOutput(int deviceId, std::unique_ptr<MidiOutPort> &port) = 0;
};

} // namespace parlet
