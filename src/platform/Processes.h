#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace parlet {

using HANDLE = std::intptr_t; // 0 = no handle

struct PROCESS_INFORMATION {
    HANDLE hProcess = 0;
    HANDLE hThread = 0;
    std::uint32_t dwProcessId = 0;
    std::uint32_t dwThreadId = 0;
};

inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 0x102;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;

// Starting and polling a child process. The command line's first word names the program, found in
// the program's own folder, then the current folder, then the search path; the rest is split into
// arguments by the Windows command-line rules. No shell is involved.
class Processes {
  public:
    // Output of a started process, delivered on the window thread. `isError` marks standard error.
    using OutputHandler =
        std::function<void(HANDLE process, const std::string &text, bool isError)>;
    // The end of a started process, delivered on the window thread after its last output.
    using EndHandler = std::function<void(HANDLE process)>;

    virtual ~Processes() = default;
    // False when the program cannot be started; `info` then holds no handles.
    virtual bool CreateProcessA(const std::string &commandLine, PROCESS_INFORMATION &info) = 0;
    // WAIT_OBJECT_0 when the process has ended, WAIT_FAILED for a handle that is not a process,
    // WAIT_TIMEOUT while it runs. Only a timeout of 0 is supported.
    virtual std::uint32_t WaitForSingleObject(HANDLE handle, std::uint32_t milliseconds) = 0;
    virtual bool CloseHandle(HANDLE handle) = 0;
    // True where a started tool opens a console window of its own, which shows its output and
    // takes its input. Elsewhere the program shows them: the tool's output and end reach it
    // through these handlers, and what the user types is passed to the tool's standard input.
    virtual bool OpensOwnConsole() const = 0;
    virtual void SetOutputHandler(OutputHandler output, EndHandler end) = 0;
    virtual void WriteStdin(HANDLE process, const std::string &text) = 0;
    // Asks the process and everything it started to stop, as closing its console would, and kills
    // them if they are still there two seconds later (at the latest when this object goes away).
    // Returns at once; the end is reported as any other.
    virtual void EndProcess(HANDLE process) = 0;
};

} // namespace parlet
