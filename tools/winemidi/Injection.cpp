// Input from tests: a named pipe (PARLET_WINMIDI_PIPE, else \\.\pipe\parlet-winmidi-<process id>)
// takes lines "<input> <delay in ms> <hex bytes>", such as "0 250 90 3C 40". Each message arrives
// on its input the delay after the writer connected, stamped with that time however late the
// driver's thread runs, as a device stamps what it receives; so a test writes a whole phrase at
// once and knows its timestamps exactly.
#include "Driver.h"

#include <cstdlib>
#include <mutex>

namespace winemidi {
namespace {

void take(const std::string &line, std::int64_t connected) {
    const char *at = line.c_str();
    char *end = nullptr;
    const unsigned long device = std::strtoul(at, &end, 10);
    const unsigned long delay = std::strtoul(at = end, &end, 10);
    if (end == at)
        return;
    Bytes bytes;
    for (unsigned long byte; (byte = std::strtoul(at = end, &end, 16)), end != at;)
        bytes.push_back(static_cast<std::uint8_t>(byte));
    if (!bytes.empty())
        deliver(static_cast<UINT>(device), std::move(bytes),
                connected + static_cast<std::int64_t>(delay) * ticksPerSecond() / 1000);
}

struct Pipe {
    HANDLE handle;
    OVERLAPPED io{};
    bool connected = false; // already, when listening began
};

// Starts waiting for the next writer without waiting here.
void listen(Pipe &pipe) {
    pipe.connected =
        !ConnectNamedPipe(pipe.handle, &pipe.io) && GetLastError() == ERROR_PIPE_CONNECTED;
}

// Waits for the operation under way; false when it failed, as when the writer has gone.
bool finish(Pipe &pipe, DWORD &count) {
    return GetOverlappedResult(pipe.handle, &pipe.io, &count, TRUE);
}

DWORD WINAPI serve(void *argument) {
    Pipe &pipe = *static_cast<Pipe *>(argument);
    for (;; listen(pipe)) {
        DWORD got = 0;
        if (!pipe.connected && !finish(pipe, got)) {
            DisconnectNamedPipe(pipe.handle);
            continue;
        }
        const std::int64_t connected = now();
        std::string pending;
        char chunk[512];
        while ((ReadFile(pipe.handle, chunk, sizeof chunk, nullptr, &pipe.io) ||
                GetLastError() == ERROR_IO_PENDING) &&
               finish(pipe, got) && got > 0) {
            pending.append(chunk, got);
            for (std::size_t newline; (newline = pending.find('\n')) != std::string::npos;) {
                take(pending.substr(0, newline), connected);
                pending.erase(0, newline + 1);
            }
        }
        take(pending, connected);
        DisconnectNamedPipe(pipe.handle);
    }
}

} // namespace

void startInjection() {
    static std::once_flag once;
    std::call_once(once, [] {
        const std::wstring name = environment(
            L"PARLET_WINMIDI_PIPE",
            (L"\\\\.\\pipe\\parlet-winmidi-" + std::to_wstring(GetCurrentProcessId())).c_str());
        // The first instance only: a second process given the same name gets no input this way.
        HANDLE handle = CreateNamedPipeW(
            name.c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return;
        // Listening before the input's open returns: a writer that comes and goes before the
        // thread runs is still read.
        auto *pipe = new Pipe{handle};
        pipe->io.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        listen(*pipe);
        CloseHandle(CreateThread(nullptr, 0, serve, pipe, 0, nullptr));
    });
}

} // namespace winemidi
