#include "JackServer.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace parlet::test {
namespace {

using namespace std::chrono_literals;

std::string readFile(const std::string &path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

bool serverAnswers(const std::string &name) {
    jack_status_t status{};
    jack_client_t *probe = jack_client_open(
        "probe", JackOptions(JackNoStartServer | JackServerName), &status, name.c_str());
    if (probe != nullptr)
        jack_client_close(probe);
    return probe != nullptr;
}

} // namespace

JackServer::JackServer() {
    static std::atomic<int> serial{0};
    m_name = "parlet-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    m_logPath = "/tmp/" + m_name + ".log";
    jack_set_error_function([](const char *) {});
    jack_set_info_function([](const char *) {});

    std::vector<std::string> args{"jackd", "-n",
                                  m_name,  "--no-realtime",
                                  "-d",    "dummy",
                                  "-r",    std::to_string(sampleRate),
                                  "-p",    std::to_string(periodFrames)};
    std::vector<char *> argv;
    for (auto &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // A test that crashes must not leave its server behind.
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        const int log = open(m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execvp("jackd", argv.data());
        _exit(127);
    }
    if (m_pid < 0) {
        m_error = std::string("cannot start jackd: ") + std::strerror(errno);
        return;
    }
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
        if (int status = 0; waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "jackd ended at once: " + readFile(m_logPath);
            return;
        }
        if (serverAnswers(m_name)) {
            setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
            m_running = true;
            return;
        }
    }
    m_error = "jackd did not answer within 10 s: " + readFile(m_logPath);
}

JackServer::~JackServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; waitpid(m_pid, &status, WNOHANG) == 0; ++i) {
            if (i == 500) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    std::remove(m_logPath.c_str());
}

JackServer *JackTest::s_server = nullptr;

void JackTest::SetUpTestSuite() {
    if (s_server == nullptr)
        s_server = new JackServer;
}

void JackTest::TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
}

void JackTest::SetUp() {
    if (!s_server->running())
        GTEST_SKIP() << "No JACK server could be started here: " << s_server->error();
}

JackTestClient::JackTestClient(const std::string &name) {
    jack_status_t status{};
    m_client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (m_client == nullptr)
        return;
    m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_in = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_toSend = jack_ringbuffer_create(64 * 1024);
    m_arrived = jack_ringbuffer_create(256 * 1024);
    jack_set_process_callback(m_client, process, this);
    jack_set_xrun_callback(
        m_client, [](void *arg) { return ++static_cast<JackTestClient *>(arg)->m_stalls, 0; },
        this);
    if (m_out == nullptr || m_in == nullptr || jack_activate(m_client) != 0) {
        jack_client_close(m_client);
        m_client = nullptr;
    }
}

JackTestClient::~JackTestClient() {
    if (m_client != nullptr) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
    if (m_toSend != nullptr) {
        jack_ringbuffer_free(m_toSend);
        jack_ringbuffer_free(m_arrived);
    }
}

void JackTestClient::sendAt(std::uint32_t frame, const std::vector<std::uint8_t> &bytes) {
    Event event{frame, 0, static_cast<std::uint8_t>(std::min<std::size_t>(bytes.size(), 16)), {}};
    std::copy_n(bytes.begin(), event.size, event.bytes);
    while (jack_ringbuffer_write_space(m_toSend) < sizeof event)
        std::this_thread::sleep_for(1ms);
    jack_ringbuffer_write(m_toSend, reinterpret_cast<const char *>(&event), sizeof event);
}

int JackTestClient::process(jack_nframes_t frames, void *arg) {
    auto *self = static_cast<JackTestClient *>(arg);
    const jack_nframes_t start = jack_last_frame_time(self->m_client);
    jack_nframes_t frame = 0;
    jack_time_t cycleUs = 0, nextUs = 0;
    float periodUs = 0;
    if (jack_get_cycle_times(self->m_client, &frame, &cycleUs, &nextUs, &periodUs) == 0) {
        // The cycle should begin where the one before expected the next to; a held-up server
        // or a jittery wake-up moves the clock estimate away from the frames.
        const auto moved = static_cast<std::int64_t>(cycleUs - self->m_expectedCycleUs);
        if (self->m_expectedCycleUs != 0 && (moved > 500 || moved < -500))
            ++self->m_stalls;
        self->m_expectedCycleUs = nextUs;
    }

    void *out = jack_port_get_buffer(self->m_out, frames);
    jack_midi_clear_buffer(out);
    Event event{};
    while (jack_ringbuffer_peek(self->m_toSend, reinterpret_cast<char *>(&event), sizeof event) ==
           sizeof event) {
        const auto ahead = static_cast<std::int32_t>(event.frame - start);
        if (ahead >= static_cast<std::int32_t>(frames))
            break;
        jack_midi_event_write(out, static_cast<jack_nframes_t>(std::max(ahead, 0)), event.bytes,
                              event.size);
        jack_ringbuffer_read_advance(self->m_toSend, sizeof event);
    }

    void *in = jack_port_get_buffer(self->m_in, frames);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t midi{};
        if (jack_midi_event_get(&midi, in, i) != 0 ||
            jack_ringbuffer_write_space(self->m_arrived) < sizeof event)
            continue;
        event.frame = start + midi.time;
        event.usecs = cycleUs + (nextUs - cycleUs) * midi.time / frames;
        event.size = static_cast<std::uint8_t>(std::min<std::size_t>(midi.size, 16));
        std::copy_n(midi.buffer, event.size, event.bytes);
        jack_ringbuffer_write(self->m_arrived, reinterpret_cast<const char *>(&event),
                              sizeof event);
    }
    return 0;
}

std::vector<JackTestClient::Received>
JackTestClient::waitReceived(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Event event{};
        while (jack_ringbuffer_read(m_arrived, reinterpret_cast<char *>(&event), sizeof event) ==
               sizeof event)
            m_received.push_back(
                {event.frame, event.usecs, {event.bytes, event.bytes + event.size}});
        if (m_received.size() >= count || std::chrono::steady_clock::now() >= deadline)
            return std::exchange(m_received, {});
        std::this_thread::sleep_for(1ms);
    }
}

} // namespace parlet::test
