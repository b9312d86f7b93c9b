#include "DriverPeer.h"

#include "DriverClient.h"

#include <fstream>

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
    // Wine's timers may add. The wait is an alertable one, which Wine's server times as it times
    // the stream service's waits between events (a plain Sleep never reaches the server, so a
    // busy server would go unseen).
    m_watch = std::thread([this] {
        for (auto last = Clock::now(), now = last; m_watching; last = now, SleepEx(1, TRUE))
            m_stalls += (now = Clock::now()) - last > std::chrono::milliseconds(8);
    });
}

DriverPeer::~DriverPeer() {
    m_watching = false;
    m_watch.join();
}

bool DriverPeer::play(const std::vector<std::pair<unsigned, Bytes>> &messages) {
    return winemidi::inject("\\\\.\\pipe\\parlet-winmidi-" + std::to_string(GetCurrentProcessId()),
                            messages, 2000);
}

std::vector<DriverPeer::Sent> DriverPeer::waitSent(std::size_t count,
                                                   std::chrono::milliseconds timeout) {
    std::vector<Sent> sent;
    // Not more often: each look opens the log through Wine's server, which the stream service
    // needs on time (polled every 2 ms, the server held it up more than 8 ms about once a test).
    for (const auto until = Clock::now() + timeout;; Sleep(10)) {
        for (auto &message : winemidi::readSendLog(m_log, m_read))
            sent.push_back({message.us / 1000, std::move(message.bytes)});
        if (sent.size() >= count || Clock::now() > until)
            return sent;
    }
}

} // namespace parlet::test
