#include "platform/RealServices.h"

// After our headers (see Win32.h).
#include "Win32.h"

namespace parlet {
namespace {

class WinClock final : public Clock {
  public:
    time_point now() override { return std::chrono::steady_clock::now(); }
    void Sleep(std::chrono::milliseconds duration) override {
        ::Sleep(static_cast<DWORD>(duration.count()));
    }
};

} // namespace

std::unique_ptr<Clock> makeSteadyClock() {
    return std::make_unique<WinClock>();
}

} // namespace parlet
