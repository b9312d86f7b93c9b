// MCI command strings to the system's own devices (the sequencer among them).
#include "platform/RealServices.h"

#include <vector>

// After our headers (see Win32.h).
#include "Win32.h"

namespace parlet {
namespace {

class WinMci final : public Mci {
  public:
    MMRESULT mciSendStringA(const std::string &command, std::string *returnString,
                            unsigned returnLength, std::uintptr_t hwndCallback) override {
        std::vector<char> reply(returnString && returnLength > 0 ? returnLength : 1, '\0');
        const MMRESULT result =
            ::mciSendStringA(command.c_str(), returnString ? reply.data() : nullptr,
                             returnString ? returnLength : 0, reinterpret_cast<HWND>(hwndCallback));
        if (returnString)
            *returnString = reply.data();
        return result;
    }

    bool mciGetErrorStringA(MMRESULT error, std::string &text, unsigned length) override {
        std::vector<char> buffer(length > 0 ? length : 1, '\0');
        const bool found = ::mciGetErrorStringA(error, buffer.data(), length) != FALSE;
        text = buffer.data();
        return found;
    }
};

} // namespace

std::unique_ptr<Mci> makeRealMci(MidiSystem &) {
    return std::make_unique<WinMci>();
}

} // namespace parlet
