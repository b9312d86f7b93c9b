#include "DriverPeer.h"

#include <fstream>
#include <sstream>

#include <windows.h>

namespace parlet::test {

using Clock = std::chrono::steady_clock;

DriverPeer::DriverPeer()
    : m_log(testing::TempDir() + "winmidi-" + std::to_string(GetCurrentProcessId()) + ".log") {
    // The driver opens its log at the first message out, once for the process.
    SetEnvironmentVariableA("PARLET_WINMIDI_LOG", m_log.c_str());
    // What the program sends goes to the keyboard, not back into its input.
    SetEnvironmentVariableA("PARLET_WINMIDI_LOOP", "off");
    m_read = std::max<std::streamoff>(std::ifstream(m_log, std::ios::ate).tellg(), 0);
    // A hold-up that can make a message as late as the checks allow, less the millisecond that
    // Wine's timers may add.
    m_watch = std::thread([this] {
        for (auto last = Clock::now(), now = last; m_watching; last = now, Sleep(1))
            m_stalls += (now = Clock::now()) - last > std::chrono::milliseconds(8);
    });
}

DriverPeer::~DriverPeer() {
    m_watching = false;
    m_watch.join();
}

bool DriverPeer::play(const std::vector<std::pair<unsigned, Bytes>> &messages) {
    const std::string name = "\\\\.\\pipe\\parlet-winmidi-" + std::to_string(GetCurrentProcessId());
    std::ofstream pipe(name, std::ios::binary);
    for (int tries = 0; !pipe.is_open() && tries < 100; ++tries) {
        Sleep(20); // the pipe takes one writer at a time
        pipe.open(name, std::ios::binary);
    }
    for (const auto &[ms, bytes] : messages) {
        pipe << "0 " << std::dec << ms << std::hex;
        for (const auto byte : bytes)
            pipe << ' ' << unsigned{byte};
        pipe << '\n';
    }
    pipe.close();
    return !pipe.fail();
}

std::vector<DriverPeer::Sent> DriverPeer::waitSent(std::size_t count,
                                                   std::chrono::milliseconds timeout) {
    std::vector<Sent> sent;
    for (const auto until = Clock::now() + timeout;; Sleep(2)) {
        std::ifstream log(m_log, std::ios::binary);
        log.seekg(m_read);
        for (std::string line; std::getline(log, line) && !log.eof();) {
            m_read += static_cast<std::streamoff>(line.size() + 1);
            std::istringstream words(line); // "<us> out<n> <hex bytes>"
            double us = 0;
            words >> us >> line;
            sent.push_back({us / 1000, {}});
            for (unsigned byte; words >> std::hex >> byte;)
                sent.back().bytes.push_back(static_cast<std::uint8_t>(byte));
        }
        if (sent.size() >= count || Clock::now() > until)
            return sent;
    }
}

} // namespace parlet::test
