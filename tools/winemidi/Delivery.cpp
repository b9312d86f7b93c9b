// The driver's own thread, which hands each message to its input at its time, as a device's
// callbacks arrive on a thread of the driver's and not on the sender's.
#include "Driver.h"

#include <map>
#include <mutex>
#include <utility>

namespace winemidi {
namespace {

struct Queue {
    std::mutex mutex;
    std::multimap<std::int64_t, std::pair<UINT, Bytes>> due; // by time, in the order given
    HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bool running = false;
};

Queue &queue() {
    static Queue *const instance = new Queue; // left to the end of the process with its thread
    return *instance;
}

DWORD WINAPI run(void *) {
    Queue &q = queue();
    for (;;) {
        DWORD wait = INFINITE;
        {
            std::unique_lock lock(q.mutex);
            if (!q.due.empty()) {
                const std::int64_t left = q.due.begin()->first - now();
                if (left <= 0) {
                    auto node = q.due.extract(q.due.begin());
                    lock.unlock();
                    arrive(node.mapped().first, node.mapped().second, node.key());
                    continue;
                }
                wait = static_cast<DWORD>(left * 1000 / ticksPerSecond());
            }
        }
        WaitForSingleObject(q.wake, wait);
    }
}

} // namespace

std::int64_t now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

std::int64_t ticksPerSecond() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return frequency;
}

std::size_t messageLength(const std::uint8_t *bytes, std::size_t size) {
    if (size == 0)
        return 0;
    std::size_t length = 1;
    const std::uint8_t status = bytes[0];
    if (status == 0xF0) {
        while (length < size && bytes[length - 1] != 0xF7)
            ++length;
    } else if (status < 0xF0) {
        length = (status & 0xE0) == 0xC0 ? 2 : 3;
    } else if (status == 0xF1 || status == 0xF3) {
        length = 2;
    } else if (status == 0xF2) {
        length = 3;
    }
    return std::min(length, size);
}

void deliver(UINT device, Bytes bytes, std::int64_t at) {
    Queue &q = queue();
    std::lock_guard lock(q.mutex);
    if (!std::exchange(q.running, true))
        CloseHandle(CreateThread(nullptr, 0, run, nullptr, 0, nullptr));
    q.due.emplace(at, std::pair(device, std::move(bytes)));
    SetEvent(q.wake);
}

} // namespace winemidi
