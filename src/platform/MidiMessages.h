#pragma once
// Short MIDI messages as bytes and as the packed word that MIDI input delivers.
#include <cstddef>
#include <cstdint>

namespace parlet {

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

} // namespace parlet
