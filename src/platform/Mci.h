#pragma once
#include "MmTypes.h"

#include <cstdint>
#include <string>

namespace parlet {

// MCI command strings sent to the sequencer device ("open ... type sequencer alias a", "play a",
// "status a mode", ...). 0 is success; any other code has a text from mciGetErrorStringA.
class Mci {
  public:
    virtual ~Mci() = default;
    // `returnString` may be null when no reply is wanted; a reply is cut to returnLength - 1.
    virtual MMRESULT mciSendStringA(const std::string &command, std::string *returnString,
                                    unsigned returnLength, std::uintptr_t hwndCallback) = 0;
    // False when the code has no text.
    virtual bool mciGetErrorStringA(MMRESULT error, std::string &text, unsigned length) = 0;
};

} // namespace parlet
