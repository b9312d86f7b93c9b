// The stand-in tool's data diagnostic on a real MIDI loop: a private JACK server with a loop
// client that returns what it is sent (or alters one message on the way), and the korrel binary
// run as Parlet runs it.
#include "JackServer.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace parlet {
namespace {

using testing::HasSubstr;

// Runs korrel with `args` to its end; standard error joins the output. Gives the exit status.
int korrel(const std::string &args, std::string &output) {
    const std::string command = std::string(PARLET_KORREL) + " " + args + " 2>&1 </dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every message comes back, but the last data byte of message `alterAt` (counting from 1; 0 for
// none) comes back with its lowest bit flipped.
class Loop {
  public:
    explicit Loop(int alterAt) : m_alterAt(alterAt) {
        jack_status_t status{};
        m_client = jack_client_open("loop", JackNoStartServer, &status);
        if (m_client == nullptr)
            return;
        m_in = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(m_client, &Loop::process, this);
        jack_activate(m_client);
    }
    ~Loop() {
        if (m_client != nullptr)
            jack_client_close(m_client);
    }
    Loop(const Loop &) = delete;
    Loop &operator=(const Loop &) = delete;
    bool ok() const { return m_client != nullptr; }

  private:
    static int process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<Loop *>(arg);
        void *in = jack_port_get_buffer(self->m_in, frames);
        void *out = jack_port_get_buffer(self->m_out, frames);
        jack_midi_clear_buffer(out);
        for (jack_nframes_t i = 0; i < jack_midi_get_event_count(in); ++i) {
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

class KorrelOnJack : public test::JackTest {};

TEST_F(KorrelOnJack, DataDiagnosticPassesUnchangedMessagesAndReportsAnAlteredOne) {
    const struct {
        int alterAt;
        const char *args;
        int status;
        const char *report;
    } cases[] = {
        {0, "-i 0 -o 0  -d80 -P -D20", 0, "20 messages sent: 20 came back unchanged, 0 differed"},
        {3, "-i 0 -o 0  -d80 -P -D6", 1, "Message 3: data differs: sent "},
        {3, "-i 0 -o 0  -P -D6", 1,
         "Message 3: data differs\n6 messages sent: 5 came back "
         "unchanged, 1 differed"},
    };
    for (const auto &c : cases) {
        Loop loop(c.alterAt);
        ASSERT_TRUE(loop.ok());
        std::string output;
        EXPECT_EQ(korrel(c.args, output), c.status) << output;
        EXPECT_THAT(output, HasSubstr("loop:in"));
        EXPECT_THAT(output, HasSubstr(c.report)) << c.args;
        EXPECT_EQ(output.find("differs") != std::string::npos, c.alterAt != 0) << output;
    }
}

} // namespace
} // namespace parlet
