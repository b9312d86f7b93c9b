#include "FakePlatform.h"

#include <algorithm>
#include <cstring>

namespace parlet::fakes {

namespace {
// The name of device `id` of `names` (or of the mapper, for outputs) into `caps`.
template <typename Caps>
MMRESULT fillName(Caps &caps, const std::vector<std::string> &names, int id, bool mapper = false) {
    if ((id < 0 || id >= static_cast<int>(names.size())) && !(mapper && id == MIDI_MAPPER))
        return MMSYSERR_BADDEVICEID;
    const std::string name = id < 0 ? "MIDI Mapper" : names[static_cast<std::size_t>(id)];
    caps.szPname.fill('\0');
    std::memcpy(caps.szPname.data(), name.data(), std::min(name.size(), caps.szPname.size() - 1));
    return MMSYSERR_NOERROR;
}
} // namespace

MMRESULT FakeMidiDevices::midiInGetDevCapsA(int deviceId, MIDIINCAPS &caps) {
    return fillName(caps, inputs, deviceId);
}

MMRESULT FakeMidiDevices::midiOutGetDevCapsA(int deviceId, MIDIOUTCAPS &caps) {
    return fillName(caps, outputs, deviceId, true);
}

MMRESULT FakeMidiIn::midiInOpen(HMIDIIN *handle, int deviceId, MidiInProc callback,
                                std::uintptr_t instance, std::uint32_t flags) {
    calls.push_back("open " + std::to_string(deviceId));
    if (deviceId != 0) // one input
        return MMSYSERR_BADDEVICEID;
    if (flags != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    bool inUse = busyDevices.count(deviceId) != 0 ||
                 std::any_of(open.begin(), open.end(),
                             [&](const auto &entry) { return entry.second.deviceId == deviceId; });
    if (inUse)
        return MMSYSERR_ALLOCATED;
    *handle = m_next++;
    open[*handle] = Port{deviceId, callback, instance, false};
    if (callback) // as the system does, on the caller's thread
        callback(*handle, MIM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT FakeMidiIn::start(HMIDIIN handle, bool started) {
    calls.push_back((started ? "start " : "stop ") + std::to_string(handle));
    auto port = open.find(handle);
    if (port == open.end())
        return MMSYSERR_INVALHANDLE;
    port->second.started = started;
    return MMSYSERR_NOERROR;
}

MMRESULT FakeMidiIn::midiInClose(HMIDIIN handle) {
    calls.push_back("close " + std::to_string(handle));
    auto port = open.find(handle);
    if (port == open.end())
        return MMSYSERR_INVALHANDLE;
    const Port closed = port->second;
    open.erase(port);
    if (closed.callback)
        closed.callback(handle, MIM_CLOSE, closed.instance, 0, 0);
    return MMSYSERR_NOERROR;
}

void FakeMidiIn::deliver(std::uint32_t message, std::uint32_t milliseconds) {
    auto ports = open; // a callback may close its own input
    for (const auto &[handle, port] : ports)
        if (port.started && port.callback)
            port.callback(handle, MIM_DATA, port.instance, message, milliseconds);
}

int FakeFolders::SHGetFolderPathA(int csidl, std::string &path) {
    auto folder = specialFolders.find(csidl);
    if (folder == specialFolders.end())
        return 1;
    path = folder->second;
    return 0;
}

bool FakeFolders::ChDir(const std::string &folder) {
    if (existing.count(folder) == 0)
        return false;
    current = folder;
    return true;
}

std::optional<std::string> FakeFileDialogs::answer(bool save, const FileDialogRequest &request) {
    shown.push_back({save, request});
    if (answers.empty())
        return std::nullopt;
    auto chosen = answers.front();
    answers.pop_front();
    return chosen;
}

void FakeMessageBoxes::MsgBox(const std::string &text) {
    texts.push_back(text);
    if (onShow)
        onShow(text);
}

void FakeClock::Sleep(std::chrono::milliseconds duration) {
    sleeps.push_back(duration);
    current += duration;
}

bool FakeProcesses::CreateProcessA(const std::string &commandLine, PROCESS_INFORMATION &info) {
    started.push_back(commandLine);
    std::string program = commandLine.substr(0, commandLine.find(' '));
    if (knownPrograms.count(program) == 0)
        return false;
    info.hProcess = m_next++;
    info.hThread = m_next++;
    info.dwProcessId = static_cast<std::uint32_t>(info.hProcess);
    info.dwThreadId = static_cast<std::uint32_t>(info.hThread);
    processes[info.hProcess] = Process{commandLine};
    return true;
}

std::uint32_t FakeProcesses::WaitForSingleObject(HANDLE handle, std::uint32_t) {
    waited.push_back(handle);
    auto process = processes.find(handle);
    if (process == processes.end() || !process->second.processHandleOpen)
        return WAIT_FAILED;
    return process->second.running ? WAIT_TIMEOUT : WAIT_OBJECT_0;
}

bool FakeProcesses::CloseHandle(HANDLE handle) {
    closed.push_back(handle);
    for (auto &[processHandle, process] : processes) {
        if (processHandle == handle && process.processHandleOpen) {
            process.processHandleOpen = false;
            return true;
        }
        if (processHandle + 1 == handle && process.threadHandleOpen) {
            process.threadHandleOpen = false;
            return true;
        }
    }
    return false;
}

void FakeProcesses::finishLast() {
    if (processes.empty())
        return;
    processes.rbegin()->second.running = false;
    if (endHandler)
        endHandler(lastHandle());
}

} // namespace parlet::fakes
