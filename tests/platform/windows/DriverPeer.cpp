#include "DriverPeer.h"

#include <fstream>
#include <sstream>

#include <windows.h>

namespace parlet::test {

namespace {
// A hold-up that can make a message as late as the timing checks allow (10 ms), given the
// millisecond that Wine's timers may add.
constexpr double heldUpMs = 8;

double nowMs() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}
} // namespace

DriverPeer::DriverPeer() {
    // The driver opens its log at the first message out, once for the process.
    m_log = testing::TempDir() + "winmidi-" + std::to_string(GetCurrentProcessId()) + ".log";
    SetEnvironmentVariableA("PARLET_WINMIDI_LOG", m_log.c_str());
    // What the program sends goes to the keyboard, not back into its input.
    SetEnvironmentVariableA("PARLET_WINMIDI_LOOP", "off");
    std::ifstream log(m_log, std::ios::ate);
    m_read = log ? static_cast<std::size_t>(log.tellg()) : 0;
    m_watch = std::thread([this] {
        for (double last = nowMs(); m_watching; Sleep(1)) {
            const double now = nowMs();
            m_stalls += now - last > heldUpMs;
            last = now;
        }
    });
}

DriverPeer::~DriverPeer() {
    m_watching = false;
    m_watch.join();
}

bool DriverPeer::play(const std::vector<std::pair<unsigned, Bytes>> &messages) {
    const std::string pipe = "\\\\.\\pipe\\parlet-winmidi-" + std::to_string(GetCurrentProcessId());
    HANDLE handle = CreateFileA(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (int tries = 0; handle == INVALID_HANDLE_VALUE && tries < 100; ++tries) {
        WaitNamedPipeA(pipe.c_str(), 20); // between two writers
        handle = CreateFileA(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    std::ostringstream lines;
    for (const auto &[ms, bytes] : messages) {
        lines << "0 " << std::dec << ms << std::hex;
        for (const auto byte : bytes)
            lines << ' ' << unsigned{byte};
        lines << '\n';
    }
    const std::string text = lines.str();
    DWORD written = 0;
    const bool ok =
        WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(handle);
    return ok;
}

std::vector<DriverPeer::Sent> DriverPeer::waitSent(std::size_t count,
                                                   std::chrono::milliseconds timeout) {
    std::vector<Sent> sent;
    for (const double until = nowMs() + static_cast<double>(timeout.count());;) {
        std::ifstream log(m_log, std::ios::binary);
        log.seekg(static_cast<std::streamoff>(m_read));
        for (std::string line; log.good() && std::getline(log, line) && !log.eof();) {
            m_read += line.size() + 1;
            std::istringstream words(line); // "<us> out<n> <hex bytes>"
            double us = 0;
            words >> us >> line;
            sent.push_back({us / 1000, {}});
            for (unsigned byte; words >> std::hex >> byte;)
                sent.back().bytes.push_back(static_cast<std::uint8_t>(byte));
        }
        if (sent.size() >= count || nowMs() > until)
            return sent;
        Sleep(2);
    }
}

} // namespace parlet::test
