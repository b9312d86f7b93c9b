#include "DriverClient.h"

#include <windows.h>

#include <fstream>
#include <iomanip>
#include <sstream>

namespace winemidi {

bool inject(const std::string &pipe, const std::string &lines, unsigned waitMs) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (unsigned waited = 0; handle == INVALID_HANDLE_VALUE; waited += 20) {
        handle = CreateFileA(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE && waited >= waitMs)
            return false;
        if (handle == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(handle, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) &&
        written == lines.size();
    CloseHandle(handle);
    return ok;
}

bool inject(const std::string &pipe,
            const std::vector<std::pair<unsigned, std::vector<std::uint8_t>>> &messages,
            unsigned waitMs) {
    std::ostringstream lines;
    for (const auto &[ms, bytes] : messages) {
        lines << "0 " << std::dec << ms << std::hex;
        for (const auto byte : bytes)
            lines << ' ' << unsigned{byte};
        lines << '\n';
    }
    return inject(pipe, lines.str(), waitMs);
}

std::vector<LoggedMessage> readSendLog(const std::string &path, std::int64_t &offset) {
    std::vector<LoggedMessage> sent;
    std::ifstream log(path, std::ios::binary);
    log.seekg(offset);
    // A line still being written has no newline yet: left for the next read.
    for (std::string line; std::getline(log, line) && !log.eof();) {
        offset += static_cast<std::int64_t>(line.size() + 1);
        std::istringstream words(line); // "<us> out<n> <hex bytes>"
        LoggedMessage &message = sent.emplace_back();
        words >> message.us >> line;
        for (unsigned byte; words >> std::hex >> byte;)
            message.bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return sent;
}

} // namespace winemidi
