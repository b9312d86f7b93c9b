#pragma once
#include "StreamPlayer.h"
#include "StreamTimer.h"

#include <memory>
#include <mutex>
#include <thread>

namespace parlet {

// One open stream: a StreamPlayer driven by its own thread. Every call is safe from any thread;
// the scheduler sends to the port from its thread only (and the silencing messages of pause and
// stop from the caller's thread, under the same lock).
class StreamScheduler final {
  public:
    using time_point = StreamPlayer::time_point;

    // `realtime` asks for SCHED_FIFO for the thread; playback goes on without it when refused.
    StreamScheduler(std::unique_ptr<StreamTimer> timer, std::unique_ptr<MidiOutPort> port,
                    bool realtime);
    // Stops playback (silencing it) and ends the thread.
    ~StreamScheduler();
    StreamScheduler(const StreamScheduler &) = delete;
    StreamScheduler &operator=(const StreamScheduler &) = delete;

    MMRESULT setDivision(std::uint32_t division);
    std::uint32_t division();
    MMRESULT setTempo(std::uint32_t microsPerQuarter);
    std::uint32_t tempo();
    MMRESULT setSpeed(double factor);
    MMRESULT enqueue(MIDIHDR *header);
    void restart();
    void pause();
    void stop();
    bool playing();
    bool idle(); // nothing queued
    std::chrono::nanoseconds position();
    std::uint64_t positionTicks();
    // Whether the thread got real-time scheduling (known once it has started).
    bool realtimeGranted() const { return m_realtimeGranted.load(); }

  private:
    void run(bool realtime);

    std::unique_ptr<StreamTimer> m_timer;
    std::unique_ptr<MidiOutPort> m_port;
    std::mutex m_mutex;
    StreamPlayer m_player;
    bool m_closing = false;
    std::atomic<bool> m_realtimeGranted{false};
    std::thread m_thread;
};

} // namespace parlet
