#pragma once
// The program's JACK client: lists other clients' MIDI ports, and opens input and output ports
// of its own connected to them. Events are timed by JACK frames, both ways.
#include "MidiBackend.h"
#include "platform/MidiOut.h"

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace parlet {

class JackMidi final {
  public:
    // `clientName` is the name asked for; JACK may add a suffix when it is taken.
    explicit JackMidi(std::string clientName);
    ~JackMidi();
    JackMidi(const JackMidi &) = delete;
    JackMidi &operator=(const JackMidi &) = delete;

    // Full names ("client:port") of the MIDI ports of other clients, sorted. Sources are where
    // the program reads (JACK output ports), sinks where it writes. Empty without a server.
    std::vector<std::string> sources();
    std::vector<std::string> sinks();

    // Null when there is no server, the port is gone or every slot is taken.
    std::unique_ptr<MidiInputPort> openInput(const std::string &source, const MidiInTarget &target);
    std::unique_ptr<MidiOutPort> openOutput(const std::string &sink);

    class InPort;
    class OutPort;

  private:
    static constexpr std::size_t maxPorts = 16;
    static int process(jack_nframes_t frames, void *arg);
    static void shutdown(void *arg);

    // Opens the client when there is none (or the server went away and nothing is open);
    // false without a server. Called with m_mutex held.
    bool connect();
    std::vector<std::string> otherPorts(unsigned long flags);
    template <typename Port> bool attach(std::array<std::atomic<Port *>, maxPorts> &slots, Port *);
    // Takes a port out of the process callback and returns once no cycle can still use it.
    template <typename Port> void detach(std::array<std::atomic<Port *>, maxPorts> &slots, Port *);
    void release(); // drops the client of a server that has gone once nothing is open on it
    void closeInput(InPort *input);
    void closeOutput(OutPort *output);

    std::string m_clientName;
    std::mutex m_mutex;
    jack_client_t *m_client = nullptr;
    std::atomic<bool> m_serverGone{false};
    std::atomic<std::uint64_t> m_cycles{0};
    int m_openPorts = 0;
    int m_portSerial = 0;
    std::array<std::atomic<InPort *>, maxPorts> m_inputs{};
    std::array<std::atomic<OutPort *>, maxPorts> m_outputs{};
};

} // namespace parlet
