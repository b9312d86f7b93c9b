// Child processes through kernel32. The tool, a console program, gets a console window of its
// own, which shows its output and takes its input; the system finds the program (its own folder
// and the current folder first) and runs a batch file through the command interpreter.
#include "platform/RealServices.h"

#include <vector>

// After our headers (see Win32.h).
#include "Win32.h"

namespace parlet {
namespace {

::HANDLE native(HANDLE handle) {
    return reinterpret_cast<::HANDLE>(handle);
}

class WinProcesses final : public Processes {
  public:
    bool CreateProcessA(const std::string &commandLine, PROCESS_INFORMATION &info) override {
        info = {};
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        ::STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ::PROCESS_INFORMATION started{};
        // A new console even when this program has one of its own (a test run from a console).
        if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                              NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE, nullptr, nullptr,
                              &startup, &started))
            return false;
        info.hProcess = reinterpret_cast<HANDLE>(started.hProcess);
        info.hThread = reinterpret_cast<HANDLE>(started.hThread);
        info.dwProcessId = started.dwProcessId;
        info.dwThreadId = started.dwThreadId;
        return true;
    }

    std::uint32_t WaitForSingleObject(HANDLE handle, std::uint32_t milliseconds) override {
        return ::WaitForSingleObject(native(handle), milliseconds);
    }

    bool CloseHandle(HANDLE handle) override { return ::CloseHandle(native(handle)) != FALSE; }

    bool OpensOwnConsole() const override { return true; }

    // The console shows the output and takes the input, so nothing comes this way.
    void SetOutputHandler(OutputHandler, EndHandler) override {}
    void WriteStdin(HANDLE, const std::string &) override {}
    // The tool's console is its own: it stays, and closing it is the user's to do.
    void EndProcess(HANDLE) override {}
};

} // namespace

std::unique_ptr<Processes> makeRealProcesses() {
    return std::make_unique<WinProcesses>();
}

} // namespace parlet
