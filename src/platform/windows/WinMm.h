#pragma once
// How values pass between the program's records and winmm's, where the two differ in width.
// Include after every header of ours (see Win32.h).
#include "Win32.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace parlet {

// A device number as winmm takes it. Its device-id parameters are pointer-wide on 64-bit Windows,
// but the mapper is the 32-bit (UINT)-1: widened with its sign, -1 would name no device.
inline UINT_PTR winDeviceId(int deviceId) {
    return static_cast<UINT>(deviceId);
}

// A name from a fixed field of a capability record, which a driver may fill to its last byte
// with no terminator; `field` keeps room for one.
template <std::size_t N, std::size_t M>
void copyName(std::array<char, N> &field, const char (&name)[M]) {
    field.fill('\0');
    std::copy_n(name, std::min(N - 1, strnlen(name, M)), field.begin());
}

// The milliseconds of a position the system answered; false when it answered in another format
// than the one asked for, whose value means something else.
inline bool positionMs(const ::MMTIME &reply, std::uint32_t &ms) {
    if (reply.wType != TIME_MS)
        return false;
    ms = reply.u.ms;
    return true;
}

} // namespace parlet
