#pragma once
// The platform as tests drive it: devices and input by hand, folders in memory, dialogs and
// message boxes answered from queues, a clock that moves only when told.
#include "platform/Platform.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace parlet::fakes {

class FakeMidiDevices final : public MidiDevices {
  public:
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;

    unsigned midiInGetNumDevs() override { return static_cast<unsigned>(inputs.size()); }
    unsigned midiOutGetNumDevs() override { return static_cast<unsigned>(outputs.size()); }
    MMRESULT midiInGetDevCapsA(int deviceId, MIDIINCAPS &caps) override;
    MMRESULT midiOutGetDevCapsA(int deviceId, MIDIOUTCAPS &caps) override;
};

// One fake input device per number; `deliver` plays the driver's part.
class FakeMidiIn final : public MidiIn {
  public:
    struct Port {
        int deviceId = -1;
        MidiInProc callback = nullptr;
        std::uintptr_t instance = 0;
        bool started = false;
    };
    std::set<int> busyDevices; // opened by another program
    std::map<HMIDIIN, Port> open;
    std::vector<std::string> calls; // "open 0", "start 1", "stop 1", "close 1"

    MMRESULT midiInOpen(HMIDIIN *handle, int deviceId, MidiInProc callback, std::uintptr_t instance,
                        std::uint32_t flags) override;
    MMRESULT midiInStart(HMIDIIN handle) override { return start(handle, true); }
    MMRESULT midiInStop(HMIDIIN handle) override { return start(handle, false); }
    MMRESULT midiInClose(HMIDIIN handle) override;

    // Delivers a short message to every started input, as MIM_DATA with the given timestamp.
    void deliver(std::uint32_t message, std::uint32_t milliseconds);

  private:
    MMRESULT start(HMIDIIN handle, bool started);
    HMIDIIN m_next = 1;
};

class FakeFolders final : public Folders {
  public:
    std::map<int, std::string> specialFolders; // csidl -> path; missing = lookup fails
    std::set<std::string> existing;            // folders that exist
    std::string current = "/start";
    char separator = '/';

    int SHGetFolderPathA(int csidl, std::string &path) override;
    bool ChDir(const std::string &folder) override;
    std::string CurDir() override { return current; }
    char PathSeparator() const override { return separator; }
};

class FakeFileDialogs final : public FileDialogs {
  public:
    struct Shown {
        bool save = false;
        FileDialogRequest request;
    };
    std::deque<std::optional<std::string>> answers; // nullopt = the user cancels
    std::vector<Shown> shown;

    std::optional<std::string> ShowOpen(const FileDialogRequest &request) override {
        return answer(false, request);
    }
    std::optional<std::string> ShowSave(const FileDialogRequest &request) override {
        return answer(true, request);
    }

  private:
    std::optional<std::string> answer(bool save, const FileDialogRequest &request);
};

class FakeMessageBoxes final : public MessageBoxes {
  public:
    std::vector<std::string> texts;
    std::function<void(const std::string &)> onShow; // runs while the box would be open

    void MsgBox(const std::string &text) override;
};

class FakeClock final : public Clock {
  public:
    time_point current{};
    std::vector<std::chrono::milliseconds> sleeps;

    time_point now() override { return current; }
    void Sleep(std::chrono::milliseconds duration) override;
};

// MCI strings and stream calls logged in one string ("a|b|..."); each answers as scripted (code
// 0 and an empty reply when not). The queued stream buffers are kept for the test to inspect.
struct ScriptedMciAndStream final : Mci, MidiStream {
    using Answer = std::pair<MMRESULT, std::string>; // code, reply
    std::string calls;
    std::map<std::string, Answer> answers;
    std::vector<MIDIHDR *> queued;
    std::uint32_t positionMs = 0;

    MMRESULT call(const std::string &name, std::string *reply = nullptr, unsigned length = 1) {
        calls += calls.empty() ? name : "|" + name;
        const Answer answer = answers.count(name) ? answers[name] : Answer{};
        if (reply)
            *reply = answer.first ? "" : answer.second.substr(0, length - 1);
        return answer.first;
    }
    MMRESULT mciSendStringA(const std::string &command, std::string *reply, unsigned length,
                            std::uintptr_t) override {
        return call(command, reply, length);
    }
    bool mciGetErrorStringA(MMRESULT error, std::string &text, unsigned) override {
        text = error == MCIERR_INVALID_FILE ? "Not a MIDI file." : "";
        return !text.empty();
    }
    MMRESULT midiStreamOpen(HMIDISTRM *handle, unsigned *, unsigned, std::uintptr_t, std::uintptr_t,
                            std::uint32_t) override {
        *handle = 7;
        return call("open");
    }
    MMRESULT midiStreamProperty(HMIDISTRM, void *property, std::uint32_t) override {
        return call("division " +
                    std::to_string(static_cast<MIDIPROPTIMEDIV *>(property)->dwTimeDiv));
    }
    MMRESULT midiOutPrepareHeader(HMIDISTRM, MIDIHDR *, unsigned) override { return call("prep"); }
    MMRESULT midiOutUnprepareHeader(HMIDISTRM, MIDIHDR *, unsigned) override {
        return call("unprep");
    }
    MMRESULT midiStreamOut(HMIDISTRM, MIDIHDR *header, unsigned) override {
        queued.push_back(header);
        return call("out");
    }
    MMRESULT midiStreamRestart(HMIDISTRM) override { return call("restart"); }
    MMRESULT midiStreamPause(HMIDISTRM) override { return call("pause"); }
    MMRESULT midiStreamStop(HMIDISTRM) override { return call("stop"); }
    MMRESULT midiStreamClose(HMIDISTRM) override { return call("close"); }
    MMRESULT midiStreamPosition(HMIDISTRM handle, MMTIME *time, unsigned) override {
        time->ms = handle ? positionMs : time->ms;
        return handle ? 0 : MMSYSERR_INVALHANDLE;
    }
};

// Processes by hand: a start succeeds for the known program names, a process runs until
// `finishLast` is called, and its handles behave like the kernel's:
// each closes once, and a closed or unknown handle fails a wait.
class FakeProcesses final : public Processes {
  public:
    struct Process {
        std::string commandLine;
        bool running = true;
        bool processHandleOpen = true;
        bool threadHandleOpen = true;
    };
    std::set<std::string> knownPrograms{"korrel", "korrel.bat"};
    std::map<HANDLE, Process> processes; // by process handle
    std::vector<std::string> started;    // every command line asked for, found or not
    std::vector<HANDLE> closed;
    std::vector<HANDLE> waited;
    OutputHandler outputHandler;
    EndHandler endHandler;
    std::vector<HANDLE> endAsked; // EndProcess only asks; `finishLast` ends

    bool CreateProcessA(const std::string &commandLine, PROCESS_INFORMATION &info) override;
    std::uint32_t WaitForSingleObject(HANDLE handle, std::uint32_t milliseconds) override;
    bool CloseHandle(HANDLE handle) override;
    bool OpensOwnConsole() const override { return false; }
    void SetOutputHandler(OutputHandler output, EndHandler end) override {
        outputHandler = std::move(output);
        endHandler = std::move(end);
    }
    void WriteStdin(HANDLE, const std::string &) override {}
    void EndProcess(HANDLE process) override { endAsked.push_back(process); }

    HANDLE lastHandle() const { return processes.empty() ? 0 : processes.rbegin()->first; }
    // Ends the most recently started process and reports it.
    void finishLast();

  private:
    HANDLE m_next = 100;
};

struct FakePlatform {
    FakeMidiDevices devices;
    FakeMidiIn midiIn;
    ScriptedMciAndStream script;
    FakeProcesses processes;
    FakeFolders folders;
    FakeFileDialogs fileDialogs;
    FakeMessageBoxes messages;
    FakeClock clock;

    Platform platform{devices, midiIn,      script,   script, processes,
                      folders, fileDialogs, messages, clock};
};

} // namespace parlet::fakes
