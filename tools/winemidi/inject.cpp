// parlet-midi-inject PIPE LINE...: puts messages into an input of the test MIDI driver running in
// another process, through the pipe that the driver serves once the process has opened an input.
// Each LINE is "<input> <delay in ms> <hex bytes>"; the delays count from this connection.
// Waits up to ten seconds for the pipe to be served.
#include "DriverClient.h"

#include <cstdio>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fputs("usage: parlet-midi-inject PIPE LINE...\n", stderr);
        return 2;
    }
    std::string lines;
    for (int i = 2; i < argc; ++i)
        lines.append(argv[i]).append("\n");
    if (winemidi::inject(argv[1], lines, 10000))
        return 0;
    std::fprintf(stderr, "parlet-midi-inject: cannot write to %s\n", argv[1]);
    return 1;
}
