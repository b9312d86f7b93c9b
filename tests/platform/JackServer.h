#pragma once
// A private JACK server for tests that need real MIDI ports, and a second JACK client that plays
// the other end of those ports with frame-exact timing.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace parlet::test {

// Runs `jackd --no-realtime -d dummy` under a name unique to this process and points
// JACK_DEFAULT_SERVER at it, so every JACK client the process opens lands there.
class JackServer final {
  public:
    static constexpr unsigned sampleRate = 48000;
    static constexpr unsigned periodFrames = 256;

    JackServer();
    ~JackServer();
    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    bool running() const { return m_running; }
    const std::string &name() const { return m_name; }
    const std::string &error() const { return m_error; } // why it could not start

  private:
    std::string m_name, m_logPath, m_error;
    pid_t m_pid = -1;
    bool m_running = false;
};

// One server for the whole suite; every test skips with the reason when jackd cannot run.
class JackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    static JackServer &server() { return *s_server; }

  private:
    static JackServer *s_server;
};

// A client with a MIDI source "out" and a sink "in". Messages leave "out" at the absolute frames
// the test names; what reaches "in" is kept with the frame at which it arrived.
class JackTestClient final {
  public:
    struct Received {
        std::uint32_t frame = 0;
        jack_time_t usecs = 0; // JACK clock time of that frame, by its cycle's mapping
        std::vector<std::uint8_t> bytes;
    };

    explicit JackTestClient(const std::string &name = "tester");
    ~JackTestClient();
    JackTestClient(const JackTestClient &) = delete;
    JackTestClient &operator=(const JackTestClient &) = delete;

    bool ok() const { return m_client != nullptr; }
    jack_client_t *client() const { return m_client; }
    std::string sourcePort() const { return jack_port_name(m_out); }
    std::string sinkPort() const { return jack_port_name(m_in); }
    std::uint32_t frameNow() const { return jack_frame_time(m_client); }
    unsigned sampleRate() const { return jack_get_sample_rate(m_client); }

    // Queues up to 16 bytes to leave at `frame` (a past frame: the next period). Frames must
    // not decrease from one call to the next.
    void sendAt(std::uint32_t frame, const std::vector<std::uint8_t> &bytes);
    // Cycles whose clock estimate jumped by over half a millisecond, plus xruns: on a loaded
    // machine MIDI of missed cycles is lost and frames and clock disagree, so timing checks
    // spanning one are repeated.
    unsigned stalls() const { return m_stalls.load(); }
    // Polls until `count` messages have arrived or `timeout` passed; returns all not yet taken.
    std::vector<Received> waitReceived(std::size_t count, std::chrono::milliseconds timeout);

  private:
    struct Event {
        std::uint32_t frame;
        jack_time_t usecs;
        std::uint8_t size;
        std::uint8_t bytes[16];
    };
    static int process(jack_nframes_t frames, void *arg);

    jack_client_t *m_client = nullptr;
    jack_port_t *m_out = nullptr;
    jack_port_t *m_in = nullptr;
    jack_ringbuffer_t *m_toSend = nullptr;
    jack_ringbuffer_t *m_arrived = nullptr;
    std::vector<Received> m_received;
    jack_time_t m_expectedCycleUs = 0;
    std::atomic<unsigned> m_stalls{0};
};

// Runs `run` until one run met no stall of the server and `run` judged it usable; false when
// every one of `attempts` runs was spoiled (the machine is too busy to judge timing).
template <typename Run> bool runUnstalled(const JackTestClient &client, Run run, int attempts = 5) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const unsigned stalls = client.stalls();
        if (run() && client.stalls() == stalls)
            return true;
    }
    return false;
}

} // namespace parlet::test
