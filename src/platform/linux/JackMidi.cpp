#include "JackMidi.h"

#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <jack/thread.h>
#include <sched.h>
#include <semaphore.h>
#include <thread>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

void silent(const char *) {}

// The frames of one process cycle.
struct Cycle {
    jack_nframes_t frames = 0;
    jack_nframes_t firstFrame = 0;
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
          m_rate(jack_get_sample_rate(owner.m_client)),
          m_latency(jack_get_buffer_size(owner.m_client)) {}

    ~OutPort() override {
        // What is queued is due by now (stop and close take the rest back): the silencing among
        // it must still go out. A cycle with nothing to write must follow, as a port's buffer
        // keeps what was last written there once the port is out of the process callback.
        auto quiet = m_owner.m_cycles.load();
        for (const auto deadline = SteadyClock::now() + 500ms;
             !m_owner.m_serverGone && SteadyClock::now() < deadline;
             std::this_thread::sleep_for(1ms)) {
            if (jack_ringbuffer_read_space(m_events) > 0) {
                quiet = m_owner.m_cycles.load();
            } else if (m_owner.m_cycles.load() >= quiet + 2) {
                break;
            }
        }
        m_owner.closeOutput(this);
        jack_ringbuffer_free(m_events);
    }

    jack_port_t *port() const { return m_port; }

    // Two periods and a margin: the scheduler thread woke up to 17 ms late on a loaded two-core
    // machine without real-time priority (p99 2 ms), and a message must be queued before the
    // cycle that holds its time plus the latency begins.
    std::chrono::nanoseconds lookahead() const override {
        return std::chrono::nanoseconds(2 * m_latency * 1000000000ull / m_rate) + 25ms;
    }

    void send(std::span<const std::uint8_t> message, time_point when) override {
        if (message.empty()) {
            return;
        }
        std::lock_guard lock(m_sending);
        // The frame is fixed now, so that a server held up later does not move the message.
        const Header header{when.time_since_epoch().count(), frameAt(when) + m_latency,
                            static_cast<std::uint32_t>(message.size())};
        if (jack_ringbuffer_write_space(m_events) < sizeof header + message.size()) {
            return; // more than the queue holds is queued: the player is far ahead of time
        }
        jack_ringbuffer_write(m_events, reinterpret_cast<const char *>(&header), sizeof header);
        jack_ringbuffer_write(m_events, reinterpret_cast<const char *>(message.data()),
                              message.size());
    }

    // The frame that JACK's clock gives a steady time, from a line that follows JACK's own
    // reading of the current frame. That reading wavers by a few frames from call to call, and
    // a server on a busy machine runs its frames slower than the clock (half a percent was seen
    // here): each reading nudges the line by a quarter frame at most and bends its slope a
    // little, so that what is queued keeps its intervals. Only a jump beyond the lookahead (a
    // long stall, a new server) moves it at once.
    jack_nframes_t frameAt(time_point when) {
        auto now = SteadyClock::now();
        jack_nframes_t frameNow = jack_frame_time(m_owner.m_client);
        for (int retry = 0; retry < 3 && SteadyClock::now() - now > 20us; ++retry) {
            now = SteadyClock::now(); // put aside between the two readings: read again
            frameNow = jack_frame_time(m_owner.m_client);
        }
        const auto seconds = [](std::chrono::nanoseconds span) {
            return std::chrono::duration<double>(span).count();
        };
        const double predicted = m_lineFraction + seconds(now - m_lineTime) * m_slope;
        const double error = static_cast<std::int32_t>(frameNow - m_lineFrame) - predicted;
        if (!m_anchored || std::abs(error) > seconds(lookahead()) * m_rate) {
            m_anchored = true;
            m_lineFrame = frameNow;
            m_lineFraction = 0;
            m_slope = m_rate;
        } else {
            const double at = predicted + std::clamp(error / 32, -0.25, 0.25);
            m_lineFrame += static_cast<jack_nframes_t>(std::floor(at));
            m_lineFraction = at - std::floor(at);
            m_slope += error / 64;
        }
        m_lineTime = now;
        return m_lineFrame + static_cast<jack_nframes_t>(
                                 std::lround(m_lineFraction + seconds(when - now) * m_slope));
    }

    std::size_t takeBack(time_point cut) override {
        std::lock_guard sending(m_sending);
        std::lock_guard taking(m_taking);
        std::vector<char> kept(jack_ringbuffer_read_space(m_events));
        kept.resize(jack_ringbuffer_read(m_events, kept.data(), kept.size()));
        std::size_t keptBytes = 0, withdrawn = 0;
        for (std::size_t at = 0; at + sizeof(Header) <= kept.size();) {
            Header header{};
            std::memcpy(&header, kept.data() + at, sizeof header);
            const std::size_t length = sizeof header + header.size;
            if (header.whenNs > cut.time_since_epoch().count()) {
                ++withdrawn; // queued in order of time: all after this go too
            } else {
                keptBytes = at + length;
            }
            at += length;
        }
        jack_ringbuffer_write(m_events, kept.data(), keptBytes);
        return withdrawn;
    }

    // Real-time thread: writes every queued message that falls in this cycle at its frame; a
    // late one goes at the start, one beyond the cycle waits for the next. While a take-back
    // holds the queue, the cycle leaves it alone: what it would have written is being withdrawn.
    void process(const Cycle &cycle) {
        void *buffer = jack_port_get_buffer(m_port, cycle.frames);
        jack_midi_clear_buffer(buffer);
        std::unique_lock taking(m_taking, std::try_to_lock);
        if (!taking.owns_lock()) {
            return;
        }
        jack_nframes_t lastOffset = 0;
        Header header{};
        while (jack_ringbuffer_peek(m_events, reinterpret_cast<char *>(&header), sizeof header) ==
               sizeof header) {
            // Frames wrap after about a day at 48 kHz; the difference stays right.
            const auto ahead = static_cast<std::int32_t>(header.frame - cycle.firstFrame);
            if (ahead >= static_cast<std::int32_t>(cycle.frames)) {
                break;
            }
            const jack_nframes_t offset =
                std::max(static_cast<jack_nframes_t>(std::max(ahead, 0)), lastOffset);
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
        std::int64_t whenNs; // steady clock
        jack_nframes_t frame;
        std::uint32_t size;
    };

    JackMidi &m_owner;
    jack_port_t *m_port;
    jack_ringbuffer_t *m_events;
    jack_nframes_t m_rate;
    jack_nframes_t m_latency; // frames
    std::mutex m_sending;     // and the line below
    bool m_anchored = false;
    jack_nframes_t m_lineFrame = 0; // the line is at m_lineFrame + m_lineFraction at m_lineTime
    double m_lineFraction = 0;
    time_point m_lineTime;
    double m_slope = 0;  // frames a second
    std::mutex m_taking; // the reading end of m_events
};

JackMidi::JackMidi(std::string clientName) : m_clientName(std::move(clientName)) {
    // A missing server is the normal case on many machines: not worth a word on the terminal.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
}

JackMidi::~JackMidi() {
    if (m_client != nullptr && !m_serverGone) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

bool JackMidi::connect() {
    release();
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
    // A server without real-time scheduling (as the private one of the run script) leaves the
    // process thread to be crowded out by any busy program, and a cycle it misses sends late.
    // Asked for like the stream scheduler's thread; without the right, it runs as it is.
    if (!jack_is_realtime(m_client)) {
        jack_acquire_real_time_scheduling(jack_client_thread_id(m_client),
                                          sched_get_priority_min(SCHED_FIFO) + 20);
    }
    return true;
}

// The client of a server that has gone is left as it is, not closed: closing it would send its
// number to whatever server now has that name, which closes the client of its own that has it.
void JackMidi::release() {
    if (m_openPorts == 0 && m_serverGone)
        m_client = nullptr;
}

int JackMidi::process(jack_nframes_t frames, void *arg) {
    auto *self = static_cast<JackMidi *>(arg);
    const Cycle cycle{frames, jack_last_frame_time(self->m_client)};
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
