#pragma once
// What the ALSA and JACK backends share behind the real MidiSystem.
#include "MidiIn.h"

#include <cstdint>
#include <string>

namespace parlet {

// Where an open input delivers: the caller's function and the values it gets back.
struct MidiInTarget {
    MidiInProc callback = nullptr;
    HMIDIIN handle = 0;
    std::uintptr_t instance = 0;
};

// One open input port. Data reaches the target only between start() and stop(); once stop()
// (or the destructor) returns, no further data call is made.
class MidiInputPort {
  public:
    virtual ~MidiInputPort() = default;
    // Sets the timestamps back to 0; does nothing when already started.
    virtual void start() = 0;
    virtual void stop() = 0;
};

// Whether a status byte starts a short message, and how long that message is (0 when it
// does not: system exclusive and its end, and the undefined 0xF4/0xF5).
constexpr unsigned shortMessageLength(std::uint8_t status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        return (status & 0xE0) == 0xC0 ? 2 : 3;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF6:
        return 1;
    default:
        return status >= 0xF8 ? 1 : 0;
    }
}

// The packed word of a short message: status in bits 0-7, data bytes above it.
inline std::uint32_t packShortMessage(const std::uint8_t *bytes, std::size_t size) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < size && i < 3; ++i) {
        word |= std::uint32_t{bytes[i]} << (8 * i);
    }
    return word;
}

// Cuts a name to the 31 bytes that fit the capability record, never inside a UTF-8 sequence.
std::string fitDeviceName(const std::string &name);

} // namespace parlet
