// parlet-midiloop: a JACK client whose MIDI input port "in" is played back on its output port
// "out" in the same cycle at the same frames, the way the modules' MIDI loop returns what it
// is sent. Runs until SIGTERM or SIGINT, or until the server goes away.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <unistd.h>

namespace {

jack_port_t *inPort = nullptr;
jack_port_t *outPort = nullptr;

int process(jack_nframes_t frames, void *) {
    void *in = jack_port_get_buffer(inPort, frames);
    void *out = jack_port_get_buffer(outPort, frames);
    jack_midi_clear_buffer(out);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event{};
        if (jack_midi_event_get(&event, in, i) == 0) {
            jack_midi_event_write(out, event.time, event.buffer, event.size);
        }
    }
    return 0;
}

void serverGone(void *) {
    kill(getpid(), SIGTERM);
}

} // namespace

int main() {
    // Blocked here, so that JACK's threads inherit the mask and only sigwait sees the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    jack_status_t status{};
    jack_client_t *client = jack_client_open("parlet-loop", JackNoStartServer, &status);
    if (client == nullptr) {
        std::fprintf(stderr, "parlet-midiloop: no JACK server is running\n");
        return 1;
    }
    inPort = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    outPort = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, nullptr);
    jack_on_shutdown(client, serverGone, nullptr);
    if (inPort == nullptr || outPort == nullptr || jack_activate(client) != 0) {
        std::fprintf(stderr, "parlet-midiloop: cannot set up its ports\n");
        jack_client_close(client);
        return 1;
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    jack_deactivate(client);
    jack_client_close(client);
    return 0;
}
