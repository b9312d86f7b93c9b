#pragma once
// The far end of the test MIDI driver's ports, as a keyboard on the loop would be: it plays into
// the driver's inputs through the driver's pipe and reads what this process sent out from the
// driver's log. A thread of its own watches for the process being held up, which says that a
// timing check failed through Wine or the machine rather than through the code.
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
    struct Played {
        unsigned ms = 0; // after the connection to the pipe
        Bytes bytes;
        unsigned input = 0;
    };

    DriverPeer();
    ~DriverPeer();
    DriverPeer(const DriverPeer &) = delete;
    DriverPeer &operator=(const DriverPeer &) = delete;

    // The messages arrive on their inputs at their times after the call, stamped with them.
    bool play(const std::vector<Played> &messages);
    // Polls until `count` messages have gone out or `timeout` passed; returns all not yet taken.
    std::vector<Sent> waitSent(std::size_t count, std::chrono::milliseconds timeout);
    unsigned stalls() const { return m_stalls; }

  private:
    std::string m_log;
    std::size_t m_read = 0; // of the log
    std::atomic<bool> m_watching{true};
    std::atomic<unsigned> m_stalls{0};
    std::thread m_watch;
};

// Runs a timing check until it holds. A run that failed while this process was held up says
// nothing about the code and is tried again, up to `attempts` runs; one that failed without a
// hold-up fails at once.
template <typename Run>
::testing::AssertionResult timedRun(const DriverPeer &peer, Run run, int attempts = 5) {
    for (int attempt = 1;; ++attempt) {
        const unsigned stalls = peer.stalls();
        if (auto result = run(); result || peer.stalls() == stalls)
            return result;
        else if (attempt == attempts)
            return result << " (the process was held up in each of " << attempts << " runs, "
                          << peer.stalls() << " times)";
    }
}

} // namespace parlet::test
