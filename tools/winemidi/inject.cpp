// parlet-midi-inject PIPE LINE...: puts messages into an input of the test MIDI driver running in
// another process, through the pipe that the driver serves once the process has opened an input.
// Each LINE is "<input> <delay in ms> <hex bytes>"; the delays count from this connection.
// Waits up to ten seconds for the pipe to be served.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fputs("usage: parlet-midi-inject PIPE LINE...\n", stderr);
        return 2;
    }
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 200 && pipe == INVALID_HANDLE_VALUE; ++tries) {
        pipe = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            Sleep(50);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "parlet-midi-inject: cannot open %s (error %lu)\n", argv[1],
                     GetLastError());
        return 1;
    }
    std::string lines;
    for (int i = 2; i < argc; ++i)
        lines.append(argv[i]).append("\n");
    DWORD written = 0;
    const bool ok =
        WriteFile(pipe, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) &&
        written == lines.size();
    CloseHandle(pipe);
    return ok ? 0 : 1;
}
