#pragma once
// A stream buffer that owns its bytes, as the window code fills one.
#include "platform/MidiStream.h"

#include <vector>

namespace parlet {

struct StreamBuffer {
    std::vector<char> bytes;
    MIDIHDR header;

    StreamBuffer &record(std::uint32_t delta, std::uint32_t event) {
        for (std::uint32_t word : {delta, 0u, event})
            bytes.insert(bytes.end(), reinterpret_cast<char *>(&word),
                         reinterpret_cast<char *>(&word) + 4);
        return *this;
    }
    StreamBuffer &note(std::uint32_t delta, unsigned status, unsigned key, unsigned velocity) {
        return record(delta, status | key << 8 | velocity << 16);
    }
    StreamBuffer &longMessage(std::uint32_t delta, std::initializer_list<std::uint8_t> data) {
        record(delta, MEVT_F_LONG | MEVT_LONGMSG << 24 | static_cast<std::uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        bytes.resize((bytes.size() + 3) & ~std::size_t{3});
        return *this;
    }
    // Points the header at the bytes; call when filled.
    MIDIHDR *ready() {
        header.lpData = bytes.data();
        header.dwBufferLength = header.dwBytesRecorded = static_cast<std::uint32_t>(bytes.size());
        return &header;
    }
    bool done() const { return header.dwFlags.load() & MHDR_DONE; }
};

} // namespace parlet
