#include "JackServer.h"

#include <jack/midiport.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace parlet::test {

using namespace std::chrono_literals;

// A few names in turn rather than one a process: JACK lists eight servers, and a server that
// died uncleanly stays listed until one of the same name starts. A name whose server answers
// belongs to a test program running beside this one, which a client here must not join; each
// program starts at a name of its own, so that two starting at once seldom try the same.
JackServer::JackServer() {
    jack_set_error_function([](const char *) {});
    jack_set_info_function([](const char *) {});
    const auto answers = [](const std::string &name) {
        jack_client_t *probe = jack_client_open(
            "probe", JackOptions(JackNoStartServer | JackServerName), nullptr, name.c_str());
        return probe && jack_client_close(probe) == 0;
    };
    for (int slot = 0; slot < 8 && m_pid < 0; ++slot) { // and not still starting
        const std::string name = "parlet-test-" + std::to_string((getpid() + slot) % 8);
        if (answers(name))
            continue;
        const std::string logPath = "/tmp/" + name + "-" + std::to_string(getpid()) + ".log";
        // A test that crashes must not leave its server behind.
        if ((m_pid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            execlp("jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-d", "dummy", "-r",
                   std::to_string(sampleRate).c_str(), "-p", std::to_string(periodFrames).c_str(),
                   nullptr);
            _exit(127);
        }
        m_error = m_pid < 0 ? "cannot fork" : "jackd did not answer within 10 s: ";
        for (const auto deadline = std::chrono::steady_clock::now() + 10s;
             m_pid > 0 && std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(20ms)) {
            if (int status = 0; waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_error = "jackd ended at once (" + std::to_string(WEXITSTATUS(status)) + "): ";
            } else if (answers(name)) {
                setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
                m_error.clear();
                break;
            }
        }
        if (!m_error.empty())
            m_error += (std::stringstream() << std::ifstream(logPath).rdbuf()).str();
        std::remove(logPath.c_str());
    }
}

JackServer::~JackServer() {
    // One signal only: a second one cuts jackd's shutdown short, and its name stays listed.
    if (m_pid > 0 && kill(m_pid, SIGTERM) == 0)
        waitpid(m_pid, nullptr, 0);
}

JackTestClient::JackTestClient(const std::string &name) {
    if (!(m_client = jack_client_open(name.c_str(), JackNoStartServer, nullptr)))
        return;
    m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_in = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(m_client, process, this);
    jack_set_xrun_callback(
        m_client, [](void *arg) { return ++static_cast<JackTestClient *>(arg)->m_stalls, 0; },
        this);
    m_ok = m_out != nullptr && m_in != nullptr && jack_activate(m_client) == 0;
}

JackTestClient::~JackTestClient() {
    if (m_client != nullptr)
        jack_client_close(m_client);
}

void JackTestClient::sendAt(std::uint32_t frame, const std::vector<std::uint8_t> &bytes) {
    std::lock_guard lock(m_mutex);
    m_toSend.push_back({frame, bytes});
}

int JackTestClient::process(jack_nframes_t frames, void *arg) {
    auto *self = static_cast<JackTestClient *>(arg);
    // A held-up server skips the frames it missed, or runs its cycles late and loses the time:
    // a cycle starts elsewhere than the one before said the next would, in frames or time.
    jack_nframes_t start = 0;
    jack_time_t startUs = 0, nextUs = 0;
    float periodUs = 0;
    jack_get_cycle_times(self->m_client, &start, &startUs, &nextUs, &periodUs);
    self->m_stalls +=
        self->m_nextFrame != 0 &&
        (self->m_nextFrame != start || std::abs(std::int64_t(startUs - self->m_nextUs)) > 500);
    self->m_nextFrame = start + frames;
    self->m_nextUs = nextUs;

    void *out = jack_port_get_buffer(self->m_out, frames);
    jack_midi_clear_buffer(out);
    std::lock_guard lock(self->m_mutex);
    auto &queue = self->m_toSend;
    auto due = queue.begin(); // past what this cycle plays (what is late goes at its start)
    for (; due != queue.end() && std::int32_t(due->frame - start) < std::int32_t(frames); ++due)
        jack_midi_event_write(out, std::max(std::int32_t(due->frame - start), 0), due->bytes.data(),
                              due->bytes.size());
    queue.erase(queue.begin(), due);
    void *in = jack_port_get_buffer(self->m_in, frames);
    jack_midi_event_t midi{};
    for (jack_nframes_t i = 0; jack_midi_event_get(&midi, in, i) == 0; ++i)
        self->m_arrived.push_back({start + midi.time, {midi.buffer, midi.buffer + midi.size}});
    return 0;
}

std::vector<JackTestClient::Received>
JackTestClient::waitReceived(std::size_t count, std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;;
         std::this_thread::sleep_for(1ms)) {
        std::lock_guard lock(m_mutex);
        if (m_arrived.size() >= count || std::chrono::steady_clock::now() >= deadline)
            return std::exchange(m_arrived, {});
    }
}

} // namespace parlet::test
