#pragma once
// The far end of the test MIDI driver's ports, as a keyboard would be: it plays into the driver's
// first input through the driver's pipe and reads what this process sent out from the driver's
// log, with the driver's loop off. A thread of its own watches for the process being held up,
// which says that a timing check failed through Wine or the machine rather than through the code.
#include "TimedRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace parlet::test {

class DriverPeer final {
  public:
    using Bytes = std::vector<std::uint8_t>;
    struct Sent {
        double ms = 0; // QueryPerformanceCounter's time, as the driver logged it
        Bytes bytes;
    };
    // Wine's stream service plays an event up to about 7 ms late while the other core is busy.
    static constexpr double toleranceMs = 10;

    DriverPeer();
    ~DriverPeer();
    DriverPeer(const DriverPeer &) = delete;
    DriverPeer &operator=(const DriverPeer &) = delete;

    // The messages arrive on input 0 at their times in ms after the call, stamped with them.
    bool play(const std::vector<std::pair<unsigned, Bytes>> &messages);
    // Polls until `count` messages have gone out or `timeout` passed; returns all not yet taken.
    std::vector<Sent> waitSent(std::size_t count, std::chrono::milliseconds timeout);
    unsigned stalls() const { return m_stalls; }

  private:
    const std::string m_log;
    std::int64_t m_read = 0; // of the log
    std::atomic<bool> m_watching{true};
    std::atomic<unsigned> m_stalls{0};
    std::thread m_watch;
};

} // namespace parlet::test
