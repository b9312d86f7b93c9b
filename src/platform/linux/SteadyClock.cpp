#include "platform/RealServices.h"

#include <thread>

namespace parlet {
namespace {

class SteadyClock final : public Clock {
  public:
    time_point now() override { return std::chrono::steady_clock::now(); }
    void Sleep(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

} // namespace

std::unique_ptr<Clock> makeSteadyClock() {
    return std::make_unique<SteadyClock>();
}

} // namespace parlet
