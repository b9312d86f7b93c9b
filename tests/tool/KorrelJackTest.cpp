// The stand-in tool on a real MIDI loop: a private JACK server, with a loop client that returns
// what it is sent (or alters one message on the way), and the korrel binary run as Parlet runs it.
#include "JackServer.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using test::JackTest;
using testing::HasSubstr;

struct ToolRun {
    std::string output;
    int status = -1;
};

// Runs korrel with `args` to its end; standard error joins the output.
ToolRun korrel(const std::string &args) {
    const std::string command = std::string(PARLET_KORREL) + " " + args + " 2>&1 </dev/null";
    ToolRun run;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A JACK client without ports, to wait for other clients' ports without becoming a device.
bool waitForPort(const char *name) {
    jack_status_t status{};
    jack_client_t *probe = jack_client_open("probe", JackNoStartServer, &status);
    if (probe == nullptr)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    bool found = false;
    while (!(found = jack_port_by_name(probe, name) != nullptr) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    jack_client_close(probe);
    return found;
}

// The modules' loop with a fault: every message comes back, but the data byte of message
// `alterAt` (counting from 1) comes back with its lowest bit flipped.
class AlteringLoop {
  public:
    explicit AlteringLoop(int alterAt) : m_alterAt(alterAt) {
        jack_status_t status{};
        m_client = jack_client_open("faulty-loop", JackNoStartServer, &status);
        if (m_client == nullptr)
            return;
        m_in = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(m_client, &AlteringLoop::process, this);
        jack_activate(m_client);
    }
    ~AlteringLoop() {
        if (m_client != nullptr)
            jack_client_close(m_client);
    }
    AlteringLoop(const AlteringLoop &) = delete;
    AlteringLoop &operator=(const AlteringLoop &) = delete;

    bool ok() const { return m_client != nullptr; }

  private:
    static int process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<AlteringLoop *>(arg);
        void *in = jack_port_get_buffer(self->m_in, frames);
        void *out = jack_port_get_buffer(self->m_out, frames);
        jack_midi_clear_buffer(out);
        const jack_nframes_t count = jack_midi_get_event_count(in);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, in, i) != 0 || event.size > 16)
                continue;
            std::uint8_t bytes[16];
            std::copy(event.buffer, event.buffer + event.size, bytes);
            if (++self->m_seen == self->m_alterAt && event.size > 1)
                bytes[event.size - 1] ^= 0x01;
            jack_midi_event_write(out, event.time, bytes, event.size);
        }
        return 0;
    }

    jack_client_t *m_client = nullptr;
    jack_port_t *m_in = nullptr;
    jack_port_t *m_out = nullptr;
    int m_alterAt;
    std::atomic<int> m_seen{0};
};

class KorrelOnJack : public JackTest {};

TEST_F(KorrelOnJack, DataDiagnosticPassesWhatTheLoopReturnsUnchanged) {
    const pid_t loop = fork();
    if (loop == 0) {
        execl(PARLET_MIDILOOP, PARLET_MIDILOOP, static_cast<char *>(nullptr));
        _exit(127);
    }
    ASSERT_GT(loop, 0);
    ASSERT_TRUE(waitForPort("parlet-loop:out"));
    const ToolRun run = korrel("-i 0 -o 0  -d80 -P -D20");
    kill(loop, SIGTERM);
    waitpid(loop, nullptr, 0);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("parlet-loop:in"));
    EXPECT_THAT(run.output, HasSubstr("20 messages sent: 20 came back unchanged, 0 differed"));
    EXPECT_THAT(run.output, testing::Not(HasSubstr("differs")));
}

TEST_F(KorrelOnJack, DataDiagnosticReportsTheMessageAlteredOnTheWay) {
    for (const bool showData : {true, false}) {
        AlteringLoop faulty(3);
        ASSERT_TRUE(faulty.ok());
        ASSERT_TRUE(waitForPort("faulty-loop:out"));
        const ToolRun run = korrel(showData ? "-i 0 -o 0  -d80 -P -D6" : "-i 0 -o 0  -P -D6");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_THAT(run.output, HasSubstr("6 messages sent: 5 came back unchanged, 1 differed"));
        if (showData) {
            EXPECT_THAT(run.output, testing::ContainsRegex(
                                        "Message 3: data differs: sent [0-9A-F ]+, received "));
        } else {
            EXPECT_THAT(run.output, HasSubstr("Message 3: data differs\n"));
        }
    }
}

TEST_F(KorrelOnJack, MonitorPrintsEachArrivingMessageUntilItsInputEnds) {
    test::JackTestClient tester;
    ASSERT_TRUE(tester.ok());
    const std::string log = "/tmp/korrel-monitor-" + std::to_string(getpid()) + ".txt";
    const std::string command = std::string(PARLET_KORREL) + " -i 0 -o 0 -L >" + log + " 2>&1";
    FILE *input = popen(command.c_str(), "w");
    ASSERT_NE(input, nullptr);
    auto logText = [&] {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    auto waitFor = [&](const std::string &text) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (logText().find(text) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        return logText().find(text) != std::string::npos;
    };
    EXPECT_TRUE(waitFor("Monitoring input device 0 (tester:out)")) << logText();
    const std::uint32_t frame = tester.frameNow() + test::JackServer::periodFrames;
    tester.sendAt(frame, {0x90, 0x3C, 0x64});
    tester.sendAt(frame + 10, {0xC9, 0x05});
    EXPECT_TRUE(waitFor("Program Change  channel 10  program 5  [C9 05]")) << logText();
    EXPECT_THAT(logText(), HasSubstr("Note On  channel 1  note 60  velocity 100  [90 3C 64]"));
    const int status = pclose(input); // its input ends
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_THAT(logText(), HasSubstr("Monitor ended after 2 messages."));
    std::remove(log.c_str());
}

} // namespace
} // namespace parlet
