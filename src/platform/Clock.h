#pragma once
#include <chrono>

namespace parlet {

// The program's notion of time: a steady clock in production, a hand-stepped one in tests.
class Clock {
  public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual time_point now() = 0;
    // Blocks the calling thread (the behaviour's own waits, such as Sleep(500)).
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

} // namespace parlet
