#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

// While it lives, keeps one core busy as another program would; or does nothing when not `busy`.
class BusyCore {
  public:
    explicit BusyCore(bool busy) {
        if (busy)
            m_thread = std::thread([this] {
                volatile std::uint64_t n = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    n = n + 1;
            });
    }
    ~BusyCore() { stop(); }
    BusyCore(const BusyCore &) = delete;
    BusyCore &operator=(const BusyCore &) = delete;

    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
