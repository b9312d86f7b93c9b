// The stand-in tool's data diagnostic on a real MIDI loop: a private JACK server with a loop
// client that returns what it is sent, and the korrel binary run as Parlet runs it.
#include "JackServer.h"

#include <jack/midiport.h>

#include <gmock/gmock.h>

#include <cstdio>
#include <sys/wait.h>

namespace parlet {

// Runs korrel with `args` to its end; standard error joins the output. Gives the exit status.
static int korrel(const std::string &args, std::string &output) {
    FILE *pipe = popen((PARLET_KORREL " " + args + " 2>&1 </dev/null").c_str(), "r");
    char buffer[512];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static int loopBack(jack_nframes_t frames, void *ports) {
    void *in = jack_port_get_buffer(static_cast<jack_port_t **>(ports)[0], frames);
    void *out = jack_port_get_buffer(static_cast<jack_port_t **>(ports)[1], frames);
    jack_midi_clear_buffer(out);
    jack_midi_event_t event;
    for (jack_nframes_t i = 0; jack_midi_event_get(&event, in, i) == 0; ++i)
        jack_midi_event_write(out, event.time, event.buffer, event.size);
    return 0;
}

class KorrelOnJack : public test::JackTest {};

TEST_F(KorrelOnJack, DataDiagnosticGetsEveryMessageBackAroundTheLoop) {
    jack_client_t *client = jack_client_open("loop", JackNoStartServer, nullptr);
    ASSERT_NE(client, nullptr);
    jack_port_t *ports[] = {
        jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0),
        jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0)};
    jack_set_process_callback(client, loopBack, ports);
    jack_activate(client);
    std::string output;
    EXPECT_EQ(korrel("-i 0 -o 0  -d80 -P -D20", output), 0) << output;
    EXPECT_THAT(output, testing::HasSubstr("(loop:in), receiving on input device 0 (loop:out)"));
    EXPECT_THAT(output, testing::HasSubstr("20 messages sent: 20 came back unchanged, 0 differed"));
    jack_client_close(client);
}

} // namespace parlet
