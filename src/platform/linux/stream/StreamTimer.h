#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace parlet {

// The scheduler thread's notion of time and its only way to wait. Production waits on the steady
// clock; tests step a clock by hand and see exactly when the thread is blocked.
class StreamTimer {
  public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~StreamTimer() = default;
    virtual time_point now() = 0;
    // Called with `lock` held; returns at `deadline` (never when nullopt) or earlier after wake().
    // May release the lock while waiting.
    virtual void waitUntil(std::unique_lock<std::mutex> &lock,
                           std::optional<time_point> deadline) = 0;
    // Called with the same mutex held: the state the waiter depends on has changed.
    virtual void wake() = 0;
};

// Sleeps on the steady clock to shortly before the deadline, then spins the last stretch: a
// sleep alone wakes up to several hundred microseconds late.
class SteadyStreamTimer final : public StreamTimer {
  public:
    static constexpr std::chrono::microseconds spinTime{150};

    time_point now() override { return std::chrono::steady_clock::now(); }
    void waitUntil(std::unique_lock<std::mutex> &lock, std::optional<time_point> deadline) override;
    void wake() override;

  private:
    std::condition_variable m_cv;
    bool m_woken = false;
};

using StreamTimerFactory = std::function<std::unique_ptr<StreamTimer>()>;

} // namespace parlet
