#include "FakeStream.h"

#include <gtest/gtest.h>

#include <thread>

namespace parlet::fakes {

struct FakeStreamTimer final : StreamTimer {
    explicit FakeStreamTimer(FakeStreamClock &clock) : m_clock(clock) {
        std::lock_guard lock(m_clock.m_registry);
        m_clock.m_timers.insert(this);
    }
    ~FakeStreamTimer() override {
        std::lock_guard lock(m_clock.m_registry);
        m_clock.m_timers.erase(this);
    }

    time_point now() override { return m_clock.now(); }

    void waitUntil(std::unique_lock<std::mutex> &lock,
                   std::optional<time_point> deadline) override {
        m_engine = lock.mutex();
        m_deadline = deadline;
        m_cv.wait(lock, [this] { return !(m_blocked = !due()); });
        m_woken = false;
    }

    void wake() override {
        m_woken = true;
        m_cv.notify_all();
    }

    // With the engine's mutex held.
    bool due() const { return m_woken || (m_deadline && m_clock.now() >= *m_deadline); }

    FakeStreamClock &m_clock;
    std::atomic<std::mutex *> m_engine{nullptr};
    std::condition_variable m_cv;
    std::optional<time_point> m_deadline;
    bool m_woken = false, m_blocked = false;
};

StreamTimerFactory FakeStreamClock::factory() {
    return [this] { return std::make_unique<FakeStreamTimer>(*this); };
}

// Each timer is looked at under its engine's mutex, so that a wake-up cannot slip between its
// waiter's check and its wait.
bool FakeStreamClock::eachTimer(bool (*check)(FakeStreamTimer &)) {
    std::lock_guard registry(m_registry);
    bool all = true;
    for (auto *timer : m_timers) {
        auto *engine = timer->m_engine.load(); // none until the timer first waits
        auto lock = engine ? std::unique_lock(*engine) : std::unique_lock<std::mutex>();
        all = engine != nullptr && check(*timer) && all;
    }
    return all;
}

void FakeStreamClock::advanceTo(time_point when) {
    m_now = when.time_since_epoch().count();
    eachTimer([](FakeStreamTimer &timer) { return timer.m_cv.notify_all(), true; });
    settle();
}

void FakeStreamClock::settle() {
    for (auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < giveUp; std::this_thread::yield())
        if (eachTimer([](FakeStreamTimer &timer) { return timer.m_blocked && !timer.due(); }))
            return;
    ADD_FAILURE() << "a scheduler thread did not settle";
}

struct RecordingPort final : MidiOutPort {
    explicit RecordingPort(FakeMidiOutputs &outputs) : m_outputs(outputs) {}
    void send(std::span<const std::uint8_t> message, time_point when) override {
        std::lock_guard lock(m_outputs.mutex);
        m_outputs.messages.push_back({{message.begin(), message.end()}, when});
    }
    std::chrono::nanoseconds lookahead() const override { return std::chrono::milliseconds(20); }
    std::size_t takeBack(time_point cut) override {
        std::lock_guard lock(m_outputs.mutex);
        return std::erase_if(m_outputs.messages, [&](const SentMessage &sent) {
            return sent.when > cut + m_outputs.ranAhead;
        });
    }

    FakeMidiOutputs &m_outputs;
};

MMRESULT FakeMidiOutputs::openOutput(int, std::unique_ptr<MidiOutPort> &port) {
    if (refusal == MMSYSERR_NOERROR)
        port = std::make_unique<RecordingPort>(*this);
    return refusal;
}

std::vector<SentMessage> FakeMidiOutputs::sent() {
    std::lock_guard lock(mutex);
    return messages;
}

void FakeMidiOutputs::clear() {
    std::lock_guard lock(mutex);
    messages.clear();
}

} // namespace parlet::fakes
