#pragma once
// A private JACK server for tests that need real MIDI ports, and a second JACK client that plays
// the other end of those ports with frame-exact timing.
#include "TimedRun.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace parlet::test {

// Runs `jackd --no-realtime -d dummy` under a name no other running server has and points
// JACK_DEFAULT_SERVER at it, so every JACK client the process opens lands there.
class JackServer final {
  public:
    static constexpr unsigned sampleRate = 48000;
    static constexpr unsigned periodFrames = 256;
    JackServer();
    ~JackServer();
    bool running() const { return m_error.empty(); }
    const std::string &error() const { return m_error; } // why it could not start

  private:
    std::string m_error = "not started";
    int m_pid = -1;
};

// One server for the whole suite. When it cannot run, every test skips with the reason, or
// fails with it when PARLET_REQUIRE_JACK is set (as the test script sets it), so that a machine
// without a server cannot pass for one that played.
class JackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_server = s_server ? s_server : new JackServer; }
    static void TearDownTestSuite() { delete std::exchange(s_server, nullptr); }
    void SetUp() override {
        if (!s_server->running() && std::getenv("PARLET_REQUIRE_JACK") != nullptr)
            FAIL() << "No JACK server could be started here: " << s_server->error();
        if (!s_server->running())
            GTEST_SKIP() << "No JACK server could be started here: " << s_server->error();
    }
    static inline JackServer *s_server = nullptr;
};

// A client with a MIDI source "out" and a sink "in". Messages leave "out" at the absolute frames
// the test names; what reaches "in" is kept with the frame at which it arrived.
class JackTestClient final {
  public:
    struct Received {
        std::uint32_t frame = 0;
        std::vector<std::uint8_t> bytes;
    };
    explicit JackTestClient(const std::string &name = "tester");
    ~JackTestClient();

    bool ok() const { return m_ok; }
    std::uint32_t frameNow() const { return jack_frame_time(m_client); }
    // Queues a message to leave at `frame` (a past frame: the next period). Frames must not
    // decrease from one call to the next.
    void sendAt(std::uint32_t frame, const std::vector<std::uint8_t> &bytes);
    // Stalls of the server seen so far: cycles that skipped frames or started late, and xruns.
    unsigned stalls() const { return m_stalls; }
    // Polls until `count` messages have arrived or `timeout` passed; returns all not yet taken.
    std::vector<Received> waitReceived(std::size_t count, std::chrono::milliseconds timeout);

  private:
    static int process(jack_nframes_t frames, void *arg);

    jack_client_t *m_client = nullptr;
    bool m_ok = false;
    jack_port_t *m_out = nullptr, *m_in = nullptr;
    std::mutex m_mutex; // held for moments only, so that the server's cycles keep their time
    std::vector<Received> m_toSend, m_arrived;
    jack_nframes_t m_nextFrame = 0;
    jack_time_t m_nextUs = 0;
    std::atomic<unsigned> m_stalls{0};
};

} // namespace parlet::test
