// The real MIDI system: ALSA sequencer ports, then JACK MIDI ports, numbered together per
// direction.
#include "AlsaMidi.h"
#include "JackMidi.h"
#include "platform/RealServices.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace parlet {

std::string fitDeviceName(const std::string &name) {
    constexpr std::size_t room = sizeof(MIDIINCAPS::szPname) - 1;
    if (name.size() <= room) {
        return name;
    }
    std::size_t cut = room;
    // Step back over continuation bytes so that no character is cut in half.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return name.substr(0, cut);
}

namespace {

// Both backends' clients go by this name, so their own ports can be told apart from others'.
constexpr const char *clientName = "parlet";
constexpr const char *mapperName = "MIDI Mapper";

enum class Backend { Alsa, Jack };

struct Device {
    Backend backend;
    std::string port; // the backend's stable name of the port
    bool operator==(const Device &) const = default;
};

template <std::size_t N> void copyName(std::array<char, N> &field, const std::string &name) {
    field.fill('\0');
    const std::string fitted = fitDeviceName(name);
    std::copy(fitted.begin(), fitted.end(), field.begin());
}

class RealMidiSystem final : public MidiSystem {
  public:
    RealMidiSystem() : m_alsa(clientName), m_jack(clientName) {}

    ~RealMidiSystem() override {
        // Inputs first: their delivery threads must end before the backends go.
        m_inputs.clear();
    }

    unsigned midiInGetNumDevs() override {
        std::lock_guard lock(m_mutex);
        m_sources = list(m_alsa.sources(), m_jack.sources());
        return static_cast<unsigned>(m_sources.size());
    }

    unsigned midiOutGetNumDevs() override {
        std::lock_guard lock(m_mutex);
        m_sinks = list(m_alsa.sinks(), m_jack.sinks());
        return static_cast<unsigned>(m_sinks.size());
    }

    MMRESULT midiInGetDevCapsA(int deviceId, MIDIINCAPS &caps) override {
        std::lock_guard lock(m_mutex);
        if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= m_sources.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        copyName(caps.szPname, m_sources[deviceId].port);
        return MMSYSERR_NOERROR;
    }

    MMRESULT midiOutGetDevCapsA(int deviceId, MIDIOUTCAPS &caps) override {
        std::lock_guard lock(m_mutex);
        if (deviceId == MIDI_MAPPER) {
            copyName(caps.szPname, mapperName);
            return MMSYSERR_NOERROR;
        }
        if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= m_sinks.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        copyName(caps.szPname, m_sinks[deviceId].port);
        return MMSYSERR_NOERROR;
    }

    MMRESULT midiInOpen(HMIDIIN *handle, int deviceId, MidiInProc callback, std::uintptr_t instance,
                        std::uint32_t flags) override {
        if (handle == nullptr || callback == nullptr) {
            return MMSYSERR_INVALPARAM;
        }
        if (flags != CALLBACK_FUNCTION) {
            return MMSYSERR_INVALFLAG;
        }
        std::unique_lock lock(m_mutex);
        if (m_sources.empty()) {
            m_sources = list(m_alsa.sources(), m_jack.sources());
        }
        if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= m_sources.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        const Device device = m_sources[deviceId];
        for (const auto &[open, input] : m_inputs) {
            if (input.device == device) {
                return MMSYSERR_ALLOCATED;
            }
        }
        const MidiInTarget target{callback, m_nextHandle, instance};
        auto port = device.backend == Backend::Alsa ? m_alsa.openInput(device.port, target)
                                                    : m_jack.openInput(device.port, target);
        if (!port) {
            return refusal(device, &AlsaMidi::sources, &JackMidi::sources);
        }
        *handle = m_nextHandle++;
        m_inputs[*handle] = OpenInput{device, target, std::move(port)};
        lock.unlock();
        callback(*handle, MIM_OPEN, instance, 0, 0);
        return MMSYSERR_NOERROR;
    }

    // Runs one control of an open input; MMSYSERR_INVALHANDLE for an unknown handle.
    MMRESULT onInput(HMIDIIN handle, void (MidiInputPort::*control)()) {
        std::lock_guard lock(m_mutex);
        const auto input = m_inputs.find(handle);
        if (input == m_inputs.end()) {
            return MMSYSERR_INVALHANDLE;
        }
        ((*input->second.port).*control)();
        return MMSYSERR_NOERROR;
    }

    MMRESULT midiInStart(HMIDIIN handle) override { return onInput(handle, &MidiInputPort::start); }

    MMRESULT midiInStop(HMIDIIN handle) override { return onInput(handle, &MidiInputPort::stop); }

    MMRESULT midiInClose(HMIDIIN handle) override {
        std::unique_lock lock(m_mutex);
        const auto input = m_inputs.find(handle);
        if (input == m_inputs.end()) {
            return MMSYSERR_INVALHANDLE;
        }
        OpenInput closing = std::move(input->second);
        m_inputs.erase(input);
        lock.unlock();
        closing.port.reset();
        closing.target.callback(handle, MIM_CLOSE, closing.target.instance, 0, 0);
        return MMSYSERR_NOERROR;
    }

    MMRESULT openOutput(int deviceId, std::unique_ptr<MidiOutPort> &port) override {
        std::lock_guard lock(m_mutex);
        if (m_sinks.empty()) {
            m_sinks = list(m_alsa.sinks(), m_jack.sinks());
        }
        if (deviceId == MIDI_MAPPER) {
            deviceId = 0;
        }
        if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= m_sinks.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        const Device &device = m_sinks[deviceId];
        port = device.backend == Backend::Alsa ? m_alsa.openOutput(device.port)
                                               : m_jack.openOutput(device.port);
        return port ? MMSYSERR_NOERROR : refusal(device, &AlsaMidi::sinks, &JackMidi::sinks);
    }

  private:
    struct OpenInput {
        Device device;
        MidiInTarget target;
        std::unique_ptr<MidiInputPort> port;
    };

    // Why a listed port did not open: it has gone since the list was read (or the server with
    // it), or it is there and will not take us (another program holds it).
    MMRESULT refusal(const Device &device, std::vector<std::string> (AlsaMidi::*alsa)(),
                     std::vector<std::string> (JackMidi::*jack)()) {
        const auto present = device.backend == Backend::Alsa ? (m_alsa.*alsa)() : (m_jack.*jack)();
        return std::find(present.begin(), present.end(), device.port) == present.end()
                   ? MMSYSERR_BADDEVICEID
                   : MMSYSERR_ALLOCATED;
    }

    static std::vector<Device> list(const std::vector<std::string> &alsa,
                                    const std::vector<std::string> &jack) {
        std::vector<Device> devices;
        for (const auto &port : alsa) {
            devices.push_back({Backend::Alsa, port});
        }
        for (const auto &port : jack) {
            devices.push_back({Backend::Jack, port});
        }
        return devices;
    }

    std::mutex m_mutex;
    AlsaMidi m_alsa;
    JackMidi m_jack;
    std::vector<Device> m_sources;
    std::vector<Device> m_sinks;
    std::map<HMIDIIN, OpenInput> m_inputs;
    HMIDIIN m_nextHandle = 1;
};

} // namespace

std::unique_ptr<MidiSystem> makeRealMidiSystem() {
    return std::make_unique<RealMidiSystem>();
}

} // namespace parlet
