#include "StreamScheduler.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

namespace parlet {

void SteadyStreamTimer::waitUntil(std::unique_lock<std::mutex> &lock,
                                  std::optional<time_point> deadline) {
    if (!deadline) {
        m_cv.wait(lock, [this] { return m_woken; });
        m_woken = false;
        return;
    }
    if (m_cv.wait_until(lock, *deadline - spinTime, [this] { return m_woken; })) {
        m_woken = false;
        return;
    }
    // The last stretch without the lock, so that callers are not held up by the spin.
    lock.unlock();
    while (std::chrono::steady_clock::now() < *deadline) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    lock.lock();
    m_woken = false;
}

void SteadyStreamTimer::wake() {
    m_woken = true;
    m_cv.notify_all();
}

StreamScheduler::StreamScheduler(std::unique_ptr<StreamTimer> timer,
                                 std::unique_ptr<MidiOutPort> port, bool realtime)
    : m_timer(std::move(timer)), m_port(std::move(port)), m_player(*m_port),
      m_thread([this, realtime] { run(realtime); }) {}

StreamScheduler::~StreamScheduler() {
    {
        std::lock_guard lock(m_mutex);
        m_player.stop(m_timer->now());
        m_closing = true;
        m_timer->wake();
    }
    m_thread.join();
}

void StreamScheduler::run(bool realtime) {
    // The kernel may otherwise defer an ordinary thread's timed wake-up by 50 us to batch it.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    if (realtime) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
        m_realtimeGranted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    }
    std::unique_lock lock(m_mutex);
    while (!m_closing) {
        auto next = m_player.pump(m_timer->now());
        m_timer->waitUntil(lock, next);
    }
}

MMRESULT StreamScheduler::setDivision(std::uint32_t division) {
    std::lock_guard lock(m_mutex);
    auto result = m_player.setDivision(division);
    m_timer->wake();
    return result;
}

std::uint32_t StreamScheduler::division() {
    std::lock_guard lock(m_mutex);
    return m_player.division();
}

MMRESULT StreamScheduler::setTempo(std::uint32_t microsPerQuarter) {
    std::lock_guard lock(m_mutex);
    auto result = m_player.setTempo(microsPerQuarter, m_timer->now());
    m_timer->wake();
    return result;
}

std::uint32_t StreamScheduler::tempo() {
    std::lock_guard lock(m_mutex);
    return m_player.tempo();
}

MMRESULT StreamScheduler::setSpeed(double factor) {
    std::lock_guard lock(m_mutex);
    auto result = m_player.setSpeed(factor, m_timer->now());
    m_timer->wake();
    return result;
}

MMRESULT StreamScheduler::enqueue(MIDIHDR *header) {
    std::lock_guard lock(m_mutex);
    auto result = m_player.enqueue(header);
    m_timer->wake();
    return result;
}

void StreamScheduler::restart() {
    std::lock_guard lock(m_mutex);
    m_player.restart(m_timer->now());
    m_timer->wake();
}

void StreamScheduler::pause() {
    std::lock_guard lock(m_mutex);
    m_player.pause(m_timer->now());
    m_timer->wake();
}

void StreamScheduler::stop() {
    std::lock_guard lock(m_mutex);
    m_player.stop(m_timer->now());
    m_timer->wake();
}

bool StreamScheduler::playing() {
    std::lock_guard lock(m_mutex);
    return m_player.playing();
}

bool StreamScheduler::idle() {
    std::lock_guard lock(m_mutex);
    return m_player.queueEmpty();
}

std::chrono::nanoseconds StreamScheduler::position() {
    std::lock_guard lock(m_mutex);
    return m_player.position(m_timer->now());
}

std::uint64_t StreamScheduler::positionTicks() {
    std::lock_guard lock(m_mutex);
    return m_player.positionTicks(m_timer->now());
}

} // namespace parlet
