// Devices, faults and the loop as the environment of the process chooses them.
#include "Driver.h"

#include <cwchar>

namespace winemidi {

std::wstring environment(const wchar_t *name, const wchar_t *fallback) {
    wchar_t value[1024];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return fallback;
    return length < 1024 ? std::wstring(value, length) : std::wstring();
}

// Names separated by '|'; unset gives the loop client's ports, set and empty gives none.
std::vector<std::wstring> deviceNames(bool inputs) {
    const std::wstring list = inputs ? environment(L"PARLET_WINMIDI_INPUTS", L"parlet-loop:out")
                                     : environment(L"PARLET_WINMIDI_OUTPUTS", L"parlet-loop:in");
    std::vector<std::wstring> names;
    for (std::size_t from = 0; !list.empty() && from <= list.size();) {
        const std::size_t bar = std::min(list.find(L'|', from), list.size());
        names.push_back(list.substr(from, bar - from));
        from = bar + 1;
    }
    return names;
}

// PARLET_WINMIDI_FAULTS holds words such as "in0=4 out1=2": the answer that opening input 0 or
// output 1 gets, so that a test can make a device busy, vanish or refuse.
MMRESULT openFault(bool input, UINT device) {
    const std::wstring faults = environment(L"PARLET_WINMIDI_FAULTS", L"");
    wchar_t key[16];
    swprintf(key, 16, L"%ls%u=", input ? L"in" : L"out", device);
    for (std::size_t at = faults.find(key); at != std::wstring::npos; at = faults.find(key, at + 1))
        if (at == 0 || faults[at - 1] == L' ')
            return static_cast<MMRESULT>(
                std::wcstoul(faults.c_str() + at + wcslen(key), nullptr, 10));
    return MMSYSERR_NOERROR;
}

bool loopOn() {
    return environment(L"PARLET_WINMIDI_LOOP", L"on") != L"off";
}

} // namespace winemidi
