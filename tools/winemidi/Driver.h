#pragma once
// The test MIDI driver, which Wine's winmm loads as its MIDI driver: devices named by the
// environment, a loop from each output back to the input of the same number, a log of what is
// sent, input put in by tests through a named pipe, and faults on demand when a device opens.
#include <windows.h>

#include <mmddk.h>
#include <mmsystem.h>

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace winemidi {

using Bytes = std::vector<std::uint8_t>;

// Times are QueryPerformanceCounter ticks.
std::int64_t now();
std::int64_t ticksPerSecond();

// Lengths of the messages in `bytes`: one system exclusive message, or a run of short ones
// (a short message cut off at the end counts as far as it goes).
std::size_t messageLength(const std::uint8_t *bytes, std::size_t size);

// What the environment chooses; read again on every call, so that a test can change it.
std::wstring environment(const wchar_t *name, const wchar_t *fallback);
std::vector<std::wstring> deviceNames(bool inputs);
MMRESULT openFault(bool input, UINT device); // MMSYSERR_NOERROR when the device may open
bool loopOn();

// Hands `bytes` to input `device` at time `at` on the driver's own thread.
void deliver(UINT device, Bytes bytes, std::int64_t at);
// On the driver's thread: what the input does with a message that arrives at `at`.
void arrive(UINT device, const Bytes &bytes, std::int64_t at);

// Appends one line per message sent out to the file that PARLET_WINMIDI_LOG names.
void logSent(UINT device, const std::uint8_t *bytes, std::size_t size);

// Starts, once per process, the named pipe through which tests put messages into inputs.
void startInjection();

void callback(const MIDIOPENDESC &desc, DWORD flags, UINT msg, DWORD_PTR p1, DWORD_PTR p2);

// MIDM_PREPARE and MODM_PREPARE, and their UNPREPARE: winmm leaves the header's flags to the
// driver.
inline DWORD prepare(DWORD_PTR p1, bool prepared) {
    auto *header = reinterpret_cast<MIDIHDR *>(p1);
    if (header == nullptr)
        return MMSYSERR_INVALPARAM;
    if (!prepared && (header->dwFlags & MHDR_INQUEUE))
        return MIDIERR_STILLPLAYING;
    header->dwFlags = prepared ? header->dwFlags | MHDR_PREPARED : header->dwFlags & ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// MIDM_ADDBUFFER and MODM_LONGDATA: a header handed over to be filled or sent is refused as a
// driver refuses it, else marked as queued.
inline DWORD queueHeader(DWORD_PTR p1) {
    auto *header = reinterpret_cast<MIDIHDR *>(p1);
    if (header == nullptr || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
    return MMSYSERR_NOERROR;
}

// The answers that inputs and outputs share: the driver's own messages, the count, the
// capabilities (in the wide form that winmm asks for) and an open's refusals (a number that names
// no device, a fault asked for). Empty for what the kind answers itself, an open that may go
// ahead among it.
template <typename Caps>
std::optional<DWORD> sharedAnswer(UINT device, UINT msg, DWORD_PTR p1, DWORD_PTR p2) {
    constexpr bool inputs = std::is_same_v<Caps, MIDIINCAPSW>;
    switch (msg) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case inputs ? MIDM_GETNUMDEVS:
    MODM_GETNUMDEVS:
        return static_cast<DWORD>(deviceNames(inputs).size());
    case inputs ? MIDM_GETDEVCAPS:
    MODM_GETDEVCAPS : {
        const auto names = deviceNames(inputs);
        if (device >= names.size())
            return MMSYSERR_BADDEVICEID;
        Caps caps{};
        caps.wMid = caps.wPid = 0xFFFF; // no registered manufacturer or product
        caps.vDriverVersion = 0x0100;
        lstrcpynW(caps.szPname, names[device].c_str(), MAXPNAMELEN);
        if constexpr (!inputs) {
            caps.wTechnology = MOD_MIDIPORT;
            caps.wChannelMask = 0xFFFF;
        }
        memcpy(reinterpret_cast<void *>(p1), &caps, std::min<std::size_t>(p2, sizeof caps));
        return MMSYSERR_NOERROR;
    }
    case inputs ? MIDM_OPEN:
    MODM_OPEN:
        if (device >= deviceNames(inputs).size())
            return MMSYSERR_BADDEVICEID;
        if (const MMRESULT fault = openFault(inputs, device))
            return fault;
    }
    return std::nullopt;
}

DWORD modMessage(UINT device, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2);
DWORD midMessage(UINT device, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2);

} // namespace winemidi
