#pragma once
#include "MmTypes.h"

#include <cstdint>
#include <string>

namespace parlet {

// Error codes of the sequencer device, each with a text from mciGetErrorStringA.
inline constexpr MMRESULT MCIERR_UNRECOGNIZED_KEYWORD = 259;
inline constexpr MMRESULT MCIERR_UNRECOGNIZED_COMMAND = 261;
inline constexpr MMRESULT MCIERR_INVALID_DEVICE_NAME = 263;
inline constexpr MMRESULT MCIERR_CANNOT_LOAD_DRIVER = 266;
inline constexpr MMRESULT MCIERR_BAD_INTEGER = 270;
inline constexpr MMRESULT MCIERR_MISSING_PARAMETER = 273;
inline constexpr MMRESULT MCIERR_FILE_NOT_FOUND = 275;
inline constexpr MMRESULT MCIERR_OUTOFRANGE = 282;
inline constexpr MMRESULT MCIERR_DUPLICATE_ALIAS = 289;
inline constexpr MMRESULT MCIERR_MISSING_DEVICE_NAME = 292;
inline constexpr MMRESULT MCIERR_INVALID_FILE = 296;
inline constexpr MMRESULT MCIERR_SEQ_PORT_INUSE = 337;
inline constexpr MMRESULT MCIERR_SEQ_PORT_NONEXISTENT = 338;

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
