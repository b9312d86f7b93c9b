#pragma once
// The far side of the test MIDI driver's pipe and send log, for programs other than the one that
// holds the driver's ports: the injector, and tests that play into a program and hear what it sent.
// The driver defines both formats; this is their one reader and writer outside it.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace winemidi {

// Lines "<input> <delay in ms> <hex bytes>", each newline-ended, into the driver's pipe `pipe`.
// The pipe takes one writer at a time and exists only once the process opened an input, so this
// waits up to `waitMs` for it.
bool inject(const std::string &pipe, const std::string &lines, unsigned waitMs);

// The same for messages that arrive on input 0, each at its delay in ms.
bool inject(const std::string &pipe,
            const std::vector<std::pair<unsigned, std::vector<std::uint8_t>>> &messages,
            unsigned waitMs);

struct LoggedMessage {
    double us = 0; // QueryPerformanceCounter's time, as the driver was handed the message
    std::vector<std::uint8_t> bytes;
};

// The whole lines of the send log at `path` from byte `offset` on; `offset` moves past them.
std::vector<LoggedMessage> readSendLog(const std::string &path, std::int64_t &offset);

} // namespace winemidi
