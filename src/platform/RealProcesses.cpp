#include "RealServices.h"

namespace parlet {
namespace {

// Placeholder until the process runner lands: nothing can be started.
class NoProcesses final : public Processes {
  public:
    bool CreateProcessA(const std::string &, PROCESS_INFORMATION &) override { return false; }
    std::uint32_t WaitForSingleObject(HANDLE, std::uint32_t) override { return WAIT_FAILED; }
    bool CloseHandle(HANDLE) override { return false; }
    void SetOutputHandler(OutputHandler) override {}
    void WriteStdin(HANDLE, const std::string &) override {}
};

} // namespace

std::unique_ptr<Processes> makeRealProcesses() {
    return std::make_unique<NoProcesses>();
}

} // namespace parlet
