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

// Starts `jackd --no-realtime -d dummy -r 48000 -p 256` under a name unique to this process and
// points JACK_DEFAULT_SERVER at it, so every JACK client the process opens afterwards lands
// there. Stops the server when destroyed.
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
    // Why the server could not be started; empty while it runs.
    const std::string &error() const { return m_error; }

  private:
    void stop();

    std::string m_name;
    std::string m_logPath;
    std::string m_error;
    pid_t m_pid = -1;
    bool m_running = false;
};

// Base of test suites that need a server: one server for the whole suite; every test skips with
// the reason when jackd cannot run on this machine.
class JackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    static JackServer &server() { return *s_server; }

  private:
    static JackServer *s_server;
};

// A JACK client of the test with one MIDI source port "out" and one MIDI sink port "in".
// Messages leave "out" at the absolute frames the test names; what reaches "in" is kept with the
// absolute frame at which it arrived.
class JackTestClient final {
  public:
    struct Received {
        std::uint32_t frame = 0;
        // The JACK clock time of that frame, by the mapping of the cycle it arrived in.
        jack_time_t usecs = 0;
        std::vector<std::uint8_t> bytes;
    };

    explicit JackTestClient(const std::string &name = "tester");
    ~JackTestClient();
    JackTestClient(const JackTestClient &) = delete;
    JackTestClient &operator=(const JackTestClient &) = delete;

    bool ok() const { return m_client != nullptr; }
    jack_client_t *client() const { return m_client; }
    std::string sourcePort() const; // full name, e.g. "tester:out"
    std::string sinkPort() const;   // full name, e.g. "tester:in"
    std::uint32_t frameNow() const { return jack_frame_time(m_client); }
    unsigned sampleRate() const { return jack_get_sample_rate(m_client); }

    // Queues a message (at most 16 bytes) to leave "out" at `frame`; a frame already past leaves
    // at the start of the next period. Frames must not decrease from one call to the next.
    void sendAt(std::uint32_t frame, const std::vector<std::uint8_t> &bytes);
    // Cycles whose clock estimate moved by more than half a millisecond, and cycles some client
    // missed (xruns). On a loaded machine the server is held up, clients miss cycles and their
    // MIDI for those cycles is gone, and frames and clock time disagree across that point.
    // Timing checks that span one are repeated.
    unsigned stalls() const { return m_stalls.load(); }

    // Polls until `count` messages have arrived at "in" or `timeout` passed; returns all that
    // arrived so far (also the earlier ones not yet taken).
    std::vector<Received> waitReceived(std::size_t count, std::chrono::milliseconds timeout);

  private:
    struct Event {
        std::uint32_t frame;
        jack_time_t usecs;
        std::uint8_t size;
        std::uint8_t bytes[16];
    };
    static int process(jack_nframes_t frames, void *arg);
    void drainReceived();

    jack_client_t *m_client = nullptr;
    jack_port_t *m_out = nullptr;
    jack_port_t *m_in = nullptr;
    jack_ringbuffer_t *m_toSend = nullptr;
    jack_ringbuffer_t *m_arrived = nullptr;
    std::vector<Received> m_received;
    jack_time_t m_expectedCycleUs = 0;
    std::atomic<unsigned> m_stalls{0};
};

} // namespace parlet::test
