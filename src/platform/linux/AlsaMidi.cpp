#include "AlsaMidi.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <regex>
#include <unistd.h>

namespace parlet {
namespace {

using SteadyClock = std::chrono::steady_clock;

void ignoreError(RtMidiError::Type, const std::string &, void *) {}

template <typename Api> std::unique_ptr<Api> makeApi(const std::string &clientName) {
    try {
        auto api = std::make_unique<Api>(RtMidi::LINUX_ALSA, clientName);
        api->setErrorCallback(ignoreError, nullptr);
        return api;
    } catch (const RtMidiError &) {
        return nullptr;
    }
}

template <typename Api> std::vector<std::string> portNames(Api &api, const std::string &ownPrefix) {
    std::vector<std::string> names;
    const unsigned count = api.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = stableAlsaName(api.getPortName(i));
        if (!name.empty() && name.rfind(ownPrefix, 0) != 0) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

template <typename Api> bool openByName(Api &api, const std::string &name, const char *portName) {
    const unsigned count = api.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (stableAlsaName(api.getPortName(i)) == name) {
            api.openPort(i, portName);
            return api.isPortOpen();
        }
    }
    return false;
}

class AlsaInPort final : public MidiInputPort {
  public:
    AlsaInPort(std::unique_ptr<RtMidiIn> in, const MidiInTarget &target)
        : m_in(std::move(in)), m_target(target) {
        // System exclusive never reaches the callback; clock and sensing do.
        m_in->ignoreTypes(true, false, false);
        m_in->setCallback(onMessage, this);
    }

    ~AlsaInPort() override {
        stop();
        // Closing ends RtMidi's input thread, so no call into this object is left running.
        m_in->closePort();
        m_in->cancelCallback();
    }

    void start() override {
        std::lock_guard lock(m_delivery);
        if (!m_started) {
            m_start = SteadyClock::now();
            m_started = true;
        }
    }

    void stop() override {
        std::lock_guard lock(m_delivery);
        m_started = false;
    }

  private:
    static void onMessage(double delta, std::vector<unsigned char> *message, void *self) {
        static_cast<AlsaInPort *>(self)->deliver(delta, *message);
    }

    void deliver(double delta, const std::vector<unsigned char> &message) {
        std::lock_guard lock(m_delivery);
        // RtMidi gives the time since the previous message, taken from the sequencer queue's
        // time stamps, and 0 for the first one. So the first arrival is read from the steady
        // clock and every later one is the previous arrival plus RtMidi's delta, which keeps
        // the queue's precision instead of the scheduling of this thread.
        if (!m_anyArrived) {
            m_arrival = SteadyClock::now();
            m_anyArrived = true;
        } else {
            m_arrival += std::chrono::duration_cast<SteadyClock::duration>(
                std::chrono::duration<double>(delta));
        }
        if (!m_started || m_arrival < m_start || message.empty()) {
            return;
        }
        const unsigned length = shortMessageLength(message[0]);
        if (length == 0 || message.size() < length) {
            return;
        }
        const auto ms =
            std::llround(std::chrono::duration<double, std::milli>(m_arrival - m_start).count());
        m_target.callback(m_target.handle, MIM_DATA, m_target.instance,
                          packShortMessage(message.data(), length),
                          static_cast<std::uintptr_t>(ms));
    }

    std::unique_ptr<RtMidiIn> m_in;
    MidiInTarget m_target;
    std::mutex m_delivery;
    bool m_started = false;
    bool m_anyArrived = false;
    SteadyClock::time_point m_start;
    SteadyClock::time_point m_arrival;
};

class AlsaOutPort final : public MidiOutPort {
  public:
    explicit AlsaOutPort(std::unique_ptr<RtMidiOut> out) : m_out(std::move(out)) {}
    ~AlsaOutPort() override { m_out->closePort(); }

    // The sequencer has no place for a time here: the message leaves at once.
    void send(std::span<const std::uint8_t> message, time_point) override {
        std::lock_guard lock(m_sending);
        m_out->sendMessage(message.data(), message.size());
    }

  private:
    std::unique_ptr<RtMidiOut> m_out;
    std::mutex m_sending;
};

} // namespace

std::string stableAlsaName(const std::string &rtMidiName) {
    static const std::regex numbers(R"( \d+:\d+$)");
    return std::regex_replace(rtMidiName, numbers, "");
}

AlsaMidi::AlsaMidi(std::string clientName) : m_clientName(std::move(clientName)) {}
AlsaMidi::~AlsaMidi() = default;

bool AlsaMidi::present() const {
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

std::vector<std::string> AlsaMidi::sources() {
    std::lock_guard lock(m_mutex);
    if (!present()) {
        return {};
    }
    if (!m_sourceLister) {
        m_sourceLister = makeApi<RtMidiIn>(m_clientName);
    }
    return m_sourceLister ? portNames(*m_sourceLister, m_clientName + ":")
                          : std::vector<std::string>{};
}

std::vector<std::string> AlsaMidi::sinks() {
    std::lock_guard lock(m_mutex);
    if (!present()) {
        return {};
    }
    if (!m_sinkLister) {
        m_sinkLister = makeApi<RtMidiOut>(m_clientName);
    }
    return m_sinkLister ? portNames(*m_sinkLister, m_clientName + ":") : std::vector<std::string>{};
}

std::unique_ptr<MidiInputPort> AlsaMidi::openInput(const std::string &source,
                                                   const MidiInTarget &target) {
    if (!present()) {
        return nullptr;
    }
    auto in = makeApi<RtMidiIn>(m_clientName);
    if (!in || !openByName(*in, source, "input")) {
        return nullptr;
    }
    return std::make_unique<AlsaInPort>(std::move(in), target);
}

std::unique_ptr<MidiOutPort> AlsaMidi::openOutput(const std::string &sink) {
    if (!present()) {
        return nullptr;
    }
    auto out = makeApi<RtMidiOut>(m_clientName);
    if (!out || !openByName(*out, sink, "output")) {
        return nullptr;
    }
    return std::make_unique<AlsaOutPort>(std::move(out));
}

} // namespace parlet
