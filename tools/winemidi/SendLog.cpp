// The log of what went out: one line per message, "<microseconds> out<device> <hex bytes>", the
// time from QueryPerformanceCounter taken as the driver is handed the message, so that a test can
// set what went out against what was due.
#include "Driver.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace winemidi {

void logSent(UINT device, const std::uint8_t *bytes, std::size_t size) {
    static std::mutex mutex;
    static HANDLE file = INVALID_HANDLE_VALUE;
    static bool tried = false;
    const std::int64_t at = now();
    std::lock_guard lock(mutex);
    if (!std::exchange(tried, true)) {
        const std::wstring path = environment(L"PARLET_WINMIDI_LOG", L"");
        if (!path.empty())
            file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string line(40 + 3 * size, '\0');
    int length =
        std::snprintf(line.data(), line.size(), "%lld out%u",
                      static_cast<long long>(at / ticksPerSecond() * 1000000 +
                                             at % ticksPerSecond() * 1000000 / ticksPerSecond()),
                      device);
    for (std::size_t i = 0; i < size; ++i)
        length += std::snprintf(line.data() + length, line.size() - length, " %02X", bytes[i]);
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(length), &written, nullptr);
}

} // namespace winemidi
