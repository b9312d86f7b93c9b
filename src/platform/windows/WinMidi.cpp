// MIDI devices, input and output through winmm. Handles are numbered here, since the program
// keeps them in 32 bits; everything else is the system's own answer.
#include "platform/MidiMessages.h"
#include "platform/RealServices.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

// After our headers (see Win32.h).
#include "WinMm.h"

namespace parlet {
namespace {

// What the system hands back to the trampoline for one open input.
struct InputTarget {
    MidiInProc callback;
    HMIDIIN handle;
    std::uintptr_t instance;
};

void CALLBACK inputTrampoline(::HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR param1,
                              DWORD_PTR param2) {
    const auto *target = reinterpret_cast<const InputTarget *>(instance);
    target->callback(target->handle, msg, target->instance, param1, param2);
}

// Sends each message at once: short ones as they are, system exclusive through a header that
// the call returns only when the driver has taken it.
class WinMidiOutPort final : public MidiOutPort {
  public:
    explicit WinMidiOutPort(::HMIDIOUT out) : m_out(out) {}
    ~WinMidiOutPort() override {
        midiOutReset(m_out);
        midiOutClose(m_out);
    }

    void send(std::span<const std::uint8_t> message, time_point) override {
        if (message.empty())
            return;
        if (message[0] != 0xF0) {
            midiOutShortMsg(m_out, packShortMessage(message.data(), message.size()));
            return;
        }
        std::vector<char> bytes(message.begin(), message.end());
        ::MIDIHDR header{};
        header.lpData = bytes.data();
        header.dwBufferLength = static_cast<DWORD>(bytes.size());
        header.dwBytesRecorded = header.dwBufferLength;
        if (midiOutPrepareHeader(m_out, &header, sizeof header) != MMSYSERR_NOERROR)
            return;
        if (midiOutLongMsg(m_out, &header, sizeof header) == MMSYSERR_NOERROR)
            while (midiOutUnprepareHeader(m_out, &header, sizeof header) == MIDIERR_STILLPLAYING)
                ::Sleep(1);
        else
            midiOutUnprepareHeader(m_out, &header, sizeof header);
    }

  private:
    ::HMIDIOUT m_out;
};

class WinMidiSystem final : public MidiSystem {
  public:
    ~WinMidiSystem() override {
        for (auto &[handle, input] : m_inputs) {
            ::midiInReset(input.native);
            ::midiInClose(input.native);
        }
    }

    unsigned midiInGetNumDevs() override { return ::midiInGetNumDevs(); }
    unsigned midiOutGetNumDevs() override { return ::midiOutGetNumDevs(); }

    MMRESULT midiInGetDevCapsA(int deviceId, MIDIINCAPS &caps) override {
        ::MIDIINCAPSA native{};
        const MMRESULT result = ::midiInGetDevCapsA(winDeviceId(deviceId), &native, sizeof native);
        if (result == MMSYSERR_NOERROR)
            copyName(caps.szPname, native.szPname);
        return result;
    }

    MMRESULT midiOutGetDevCapsA(int deviceId, MIDIOUTCAPS &caps) override {
        ::MIDIOUTCAPSA native{};
        const MMRESULT result = ::midiOutGetDevCapsA(winDeviceId(deviceId), &native, sizeof native);
        if (result == MMSYSERR_NOERROR)
            copyName(caps.szPname, native.szPname);
        return result;
    }

    MMRESULT midiInOpen(HMIDIIN *handle, int deviceId, MidiInProc callback, std::uintptr_t instance,
                        std::uint32_t flags) override {
        if (handle == nullptr || callback == nullptr)
            return MMSYSERR_INVALPARAM;
        std::lock_guard lock(m_mutex);
        const HMIDIIN ours = m_next;
        auto target = std::make_unique<InputTarget>(InputTarget{callback, ours, instance});
        ::HMIDIIN native = nullptr;
        const MMRESULT result = ::midiInOpen(&native, static_cast<UINT>(deviceId),
                                             reinterpret_cast<DWORD_PTR>(&inputTrampoline),
                                             reinterpret_cast<DWORD_PTR>(target.get()), flags);
        if (result != MMSYSERR_NOERROR)
            return result;
        ++m_next;
        m_inputs[ours] = OpenInput{native, std::move(target)};
        *handle = ours;
        return MMSYSERR_NOERROR;
    }

    MMRESULT midiInStart(HMIDIIN handle) override { return onInput(handle, ::midiInStart); }
    MMRESULT midiInStop(HMIDIIN handle) override { return onInput(handle, ::midiInStop); }

    MMRESULT midiInClose(HMIDIIN handle) override {
        std::unique_lock lock(m_mutex);
        const auto input = m_inputs.find(handle);
        if (input == m_inputs.end())
            return MMSYSERR_INVALHANDLE;
        const MMRESULT result = ::midiInClose(input->second.native);
        if (result == MMSYSERR_NOERROR)
            m_inputs.erase(input);
        return result;
    }

    MMRESULT openOutput(int deviceId, std::unique_ptr<MidiOutPort> &port) override {
        ::HMIDIOUT out = nullptr;
        const MMRESULT result =
            ::midiOutOpen(&out, static_cast<UINT>(deviceId), 0, 0, CALLBACK_NULL);
        if (result == MMSYSERR_NOERROR)
            port = std::make_unique<WinMidiOutPort>(out);
        return result;
    }

  private:
    struct OpenInput {
        ::HMIDIIN native = nullptr;
        std::unique_ptr<InputTarget> target; // kept until the input is closed
    };

    MMRESULT onInput(HMIDIIN handle, MMRESULT(WINAPI *control)(::HMIDIIN)) {
        std::lock_guard lock(m_mutex);
        const auto input = m_inputs.find(handle);
        return input == m_inputs.end() ? MMRESULT{MMSYSERR_INVALHANDLE}
                                       : control(input->second.native);
    }

    std::mutex m_mutex;
    std::map<HMIDIIN, OpenInput> m_inputs;
    HMIDIIN m_next = 1;
};

} // namespace

std::unique_ptr<MidiSystem> makeRealMidiSystem() {
    return std::make_unique<WinMidiSystem>();
}

} // namespace parlet
