#include "JackMidi.h"

#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <cmath>
#include <semaphore.h>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

void silent(const char *) {}

std::int64_t steadyMicroseconds(SteadyClock::time_point when) {
    return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}

// jack_get_time() does not read steady_clock's clock (JACK2 takes the raw monotonic clock, which
// NTP does not slew; 0.3 s apart on the machines this was built on), and the two drift apart by
// up to NTP's slewing rate, so the difference is measured and measured again every second.
// Needs an open client: before that jack_get_time() has no time source.
std::int64_t measureJackMinusSteady() {
    std::int64_t best = 0;
    std::int64_t bestWindow = INT64_MAX;
    for (int i = 0; i < 5; ++i) {
        const auto before = SteadyClock::now();
        const auto jack = static_cast<std::int64_t>(jack_get_time());
        const auto after = SteadyClock::now();
        const std::int64_t window = steadyMicroseconds(after) - steadyMicroseconds(before);
        if (window < bestWindow) {
            bestWindow = window;
            best = jack - (steadyMicroseconds(before) + window / 2);
        }
    }
    return best;
}

// The frames of one process cycle and the times JACK maps them to.
struct Cycle {
    jack_nframes_t frames = 0;
    jack_nframes_t firstFrame = 0;
    jack_time_t firstUs = 0;
    jack_time_t nextUs = 0;
};

} // namespace

class JackMidi::InPort final : public MidiInputPort {
  public:
    InPort(JackMidi &owner, jack_port_t *port, const MidiInTarget &target)
        : m_owner(owner), m_port(port), m_target(target),
          m_msPerFrame(1000.0 / jack_get_sample_rate(owner.m_client)),
          m_events(jack_ringbuffer_create(64 * 1024)) {
        sem_init(&m_wake, 0, 0);
        m_thread = std::thread([this] { deliver(); });
    }

    ~InPort() override {
        stop();
        m_owner.closeInput(this);
        m_quit = true;
        sem_post(&m_wake);
        m_thread.join();
        sem_destroy(&m_wake);
        jack_ringbuffer_free(m_events);
    }

    jack_port_t *port() const { return m_port; }

    void start() override {
        std::lock_guard lock(m_delivery);
        if (!m_started) {
            m_startFrame = jack_frame_time(m_owner.m_client);
            m_started = true;
        }
    }

    void stop() override {
        std::lock_guard lock(m_delivery);
        m_started = false;
    }

    // Real-time thread: copies the cycle's short messages, stamped with their frames, for the
    // delivery thread. No locks, no allocation, no user code here.
    void process(const Cycle &cycle) {
        void *buffer = jack_port_get_buffer(m_port, cycle.frames);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        bool any = false;
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t midi{};
            if (jack_midi_event_get(&midi, buffer, i) != 0 || midi.size == 0) {
                continue;
            }
            const unsigned length = shortMessageLength(midi.buffer[0]);
            if (length == 0 || midi.size < length ||
                jack_ringbuffer_write_space(m_events) < sizeof(Event)) {
                continue;
            }
            Event event{cycle.firstFrame + midi.time, packShortMessage(midi.buffer, length)};
            jack_ringbuffer_write(m_events, reinterpret_cast<const char *>(&event), sizeof event);
            any = true;
        }
        if (any) {
            sem_post(&m_wake);
        }
    }

  private:
    struct Event {
        jack_nframes_t frame;
        std::uint32_t word;
    };

    void deliver() {
        while (true) {
            sem_wait(&m_wake);
            if (m_quit) {
                return;
            }
            Event event{};
            while (jack_ringbuffer_read(m_events, reinterpret_cast<char *>(&event), sizeof event) ==
                   sizeof event) {
                std::lock_guard lock(m_delivery);
                // Frames wrap after about a day at 48 kHz; the difference stays right.
                const auto since = static_cast<std::int32_t>(event.frame - m_startFrame);
                if (!m_started || since < 0) {
                    continue;
                }
                const auto ms = static_cast<std::uintptr_t>(std::llround(since * m_msPerFrame));
                m_target.callback(m_target.handle, MIM_DATA, m_target.instance, event.word, ms);
            }
        }
    }

    JackMidi &m_owner;
    jack_port_t *m_port;
    MidiInTarget m_target;
    double m_msPerFrame;
    jack_ringbuffer_t *m_events;
    sem_t m_wake{};
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
    // Held while the caller's function runs, so that stop() waits for a call in progress.
    std::mutex m_delivery;
    bool m_started = false;
    jack_nframes_t m_startFrame = 0;
};

class JackMidi::OutPort final : public MidiOutPort {
  public:
    OutPort(JackMidi &owner, jack_port_t *port)
        : m_owner(owner), m_port(port), m_events(jack_ringbuffer_create(256 * 1024)),
          m_latencyUs(static_cast<std::int64_t>(jack_get_buffer_size(owner.m_client)) * 1000000 /
                      jack_get_sample_rate(owner.m_client)) {}

    ~OutPort() override {
        m_owner.closeOutput(this);
        jack_ringbuffer_free(m_events);
    }

    jack_port_t *port() const { return m_port; }

    void send(std::span<const std::uint8_t> message, time_point when) override {
        if (message.empty()) {
            return;
        }
        std::lock_guard lock(m_sending);
        const auto now = SteadyClock::now();
        if (now - m_measured > 1s) {
            m_jackMinusSteadyUs = measureJackMinusSteady();
            m_measured = now;
        }
        Header header{steadyMicroseconds(when) + m_jackMinusSteadyUs + m_latencyUs,
                      static_cast<std::uint32_t>(message.size())};
        if (jack_ringbuffer_write_space(m_events) < sizeof header + message.size()) {
            return; // more than the queue holds is queued: the player is far ahead of time
        }
        jack_ringbuffer_write(m_events, reinterpret_cast<const char *>(&header), sizeof header);
        jack_ringbuffer_write(m_events, reinterpret_cast<const char *>(message.data()),
                              message.size());
    }

    // Real-time thread: writes every queued message that falls in this cycle at its frame; a
    // late one goes at the start, one beyond the cycle waits for the next.
    void process(const Cycle &cycle) {
        void *buffer = jack_port_get_buffer(m_port, cycle.frames);
        jack_midi_clear_buffer(buffer);
        const double framesPerUs = cycle.nextUs > cycle.firstUs
                                       ? static_cast<double>(cycle.frames) /
                                             static_cast<double>(cycle.nextUs - cycle.firstUs)
                                       : 0.0;
        jack_nframes_t lastOffset = 0;
        Header header{};
        while (jack_ringbuffer_peek(m_events, reinterpret_cast<char *>(&header), sizeof header) ==
               sizeof header) {
            const std::int64_t ahead = header.dueUs - static_cast<std::int64_t>(cycle.firstUs);
            jack_nframes_t offset = 0;
            if (ahead > 0) {
                const auto frames = static_cast<std::int64_t>(std::floor(ahead * framesPerUs));
                if (frames >= cycle.frames) {
                    break;
                }
                offset = static_cast<jack_nframes_t>(frames);
            }
            offset = std::max(offset, lastOffset);
            jack_midi_data_t *data = jack_midi_event_reserve(buffer, offset, header.size);
            if (data == nullptr) {
                break; // the port's buffer is full: the rest go out next cycle
            }
            jack_ringbuffer_read_advance(m_events, sizeof header);
            jack_ringbuffer_read(m_events, reinterpret_cast<char *>(data), header.size);
            lastOffset = offset;
        }
    }

  private:
    struct Header {
        std::int64_t dueUs; // JACK time
        std::uint32_t size;
    };

    JackMidi &m_owner;
    jack_port_t *m_port;
    jack_ringbuffer_t *m_events;
    std::int64_t m_latencyUs;
    std::mutex m_sending;
    std::int64_t m_jackMinusSteadyUs = 0;
    SteadyClock::time_point m_measured;
};

JackMidi::JackMidi(std::string clientName) : m_clientName(std::move(clientName)) {
    // A missing server is the normal case on many machines: not worth a word on the terminal.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
}

JackMidi::~JackMidi() {
    if (m_client != nullptr) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

bool JackMidi::connect() {
    if (m_client != nullptr && m_serverGone && m_openPorts == 0) {
        jack_client_close(m_client);
        m_client = nullptr;
    }
    if (m_client != nullptr) {
        return !m_serverGone;
    }
    m_serverGone = false;
    jack_status_t status{};
    m_client = jack_client_open(m_clientName.c_str(), JackNoStartServer, &status);
    if (m_client == nullptr) {
        return false;
    }
    jack_set_process_callback(m_client, process, this);
    jack_on_shutdown(m_client, shutdown, this);
    if (jack_activate(m_client) != 0) {
        jack_client_close(m_client);
        m_client = nullptr;
        return false;
    }
    return true;
}

void JackMidi::release() {
    if (m_openPorts == 0 && m_serverGone && m_client != nullptr) {
        jack_client_close(m_client);
        m_client = nullptr;
    }
}

int JackMidi::process(jack_nframes_t frames, void *arg) {
    auto *self = static_cast<JackMidi *>(arg);
    Cycle cycle;
    cycle.frames = frames;
    float periodUs = 0;
    if (jack_get_cycle_times(self->m_client, &cycle.firstFrame, &cycle.firstUs, &cycle.nextUs,
                             &periodUs) != 0) {
        cycle.firstFrame = jack_last_frame_time(self->m_client);
        cycle.firstUs = jack_get_time();
        cycle.nextUs = cycle.firstUs;
    }
    for (auto &slot : self->m_inputs) {
        if (InPort *port = slot.load(std::memory_order_acquire)) {
            port->process(cycle);
        }
    }
    for (auto &slot : self->m_outputs) {
        if (OutPort *port = slot.load(std::memory_order_acquire)) {
            port->process(cycle);
        }
    }
    self->m_cycles.fetch_add(1, std::memory_order_release);
    return 0;
}

void JackMidi::shutdown(void *arg) {
    static_cast<JackMidi *>(arg)->m_serverGone = true;
}

std::vector<std::string> JackMidi::otherPorts(unsigned long flags) {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    if (!connect()) {
        return names;
    }
    const std::string own = std::string(jack_get_client_name(m_client)) + ":";
    if (const char **ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
        for (const char **port = ports; *port != nullptr; ++port) {
            if (std::string_view(*port).substr(0, own.size()) != own) {
                names.emplace_back(*port);
            }
        }
        jack_free(ports);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> JackMidi::sources() {
    return otherPorts(JackPortIsOutput);
}
std::vector<std::string> JackMidi::sinks() {
    return otherPorts(JackPortIsInput);
}

template <typename Port>
bool JackMidi::attach(std::array<std::atomic<Port *>, maxPorts> &slots, Port *port) {
    for (auto &slot : slots) {
        Port *expected = nullptr;
        if (slot.compare_exchange_strong(expected, port, std::memory_order_release)) {
            return true;
        }
    }
    return false;
}

template <typename Port>
void JackMidi::detach(std::array<std::atomic<Port *>, maxPorts> &slots, Port *port) {
    for (auto &slot : slots) {
        Port *expected = port;
        slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    }
    // A cycle that picked the port up before it left its slot ends by counting itself.
    const std::uint64_t seen = m_cycles.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (!m_serverGone && m_cycles.load(std::memory_order_acquire) == seen &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
}

std::unique_ptr<MidiInputPort> JackMidi::openInput(const std::string &source,
                                                   const MidiInTarget &target) {
    std::unique_lock lock(m_mutex);
    if (!connect()) {
        return nullptr;
    }
    const std::string name = "in-" + std::to_string(++m_portSerial);
    jack_port_t *port =
        jack_port_register(m_client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (port == nullptr) {
        return nullptr;
    }
    ++m_openPorts;
    auto input = std::make_unique<InPort>(*this, port, target);
    if (!attach(m_inputs, input.get()) ||
        jack_connect(m_client, source.c_str(), jack_port_name(port)) != 0) {
        lock.unlock();
        return nullptr; // the port closes itself, taking the lock
    }
    return input;
}

std::unique_ptr<MidiOutPort> JackMidi::openOutput(const std::string &sink) {
    std::unique_lock lock(m_mutex);
    if (!connect()) {
        return nullptr;
    }
    const std::string name = "out-" + std::to_string(++m_portSerial);
    jack_port_t *port =
        jack_port_register(m_client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port == nullptr) {
        return nullptr;
    }
    ++m_openPorts;
    auto output = std::make_unique<OutPort>(*this, port);
    if (!attach(m_outputs, output.get()) ||
        jack_connect(m_client, jack_port_name(port), sink.c_str()) != 0) {
        lock.unlock();
        return nullptr;
    }
    return output;
}

void JackMidi::closeInput(InPort *input) {
    std::lock_guard lock(m_mutex);
    detach(m_inputs, input);
    jack_port_unregister(m_client, input->port());
    --m_openPorts;
    release();
}

void JackMidi::closeOutput(OutPort *output) {
    std::lock_guard lock(m_mutex);
    detach(m_outputs, output);
    jack_port_unregister(m_client, output->port());
    --m_openPorts;
    release();
}

} // namespace parlet
