#pragma once
// Builders for stream buffers and Standard MIDI Files used by the timing tests.
#include "platform/MidiStream.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace parlet::testdata {

// A stream buffer that owns its bytes, as the window code fills one.
struct StreamBuffer {
    std::vector<char> bytes;
    MIDIHDR header;

    StreamBuffer &record(std::uint32_t delta, std::uint32_t event) {
        for (std::uint32_t word : {delta, 0u, event})
            bytes.insert(bytes.end(), reinterpret_cast<char *>(&word),
                         reinterpret_cast<char *>(&word) + 4);
        return *this;
    }
    StreamBuffer &note(std::uint32_t delta, std::uint8_t status, std::uint8_t key,
                       std::uint8_t velocity) {
        return record(delta, status | key << 8 | std::uint32_t{velocity} << 16);
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

// A track's bytes as written in a file: delta times as variable-length quantities.
struct Track {
    std::vector<std::uint8_t> bytes;

    Track &delta(std::uint32_t ticks) {
        for (int shift = 28; shift > 0; shift -= 7)
            if (ticks >> shift)
                bytes.push_back(static_cast<std::uint8_t>(0x80 | (ticks >> shift & 0x7F)));
        bytes.push_back(ticks & 0x7F);
        return *this;
    }
    Track &event(std::uint32_t ticks, std::initializer_list<std::uint8_t> data) {
        delta(ticks);
        bytes.insert(bytes.end(), data);
        return *this;
    }
    Track &tempo(std::uint32_t ticks, std::uint32_t micros) {
        return event(ticks,
                     {0xFF, 0x51, 3, static_cast<std::uint8_t>(micros >> 16),
                      static_cast<std::uint8_t>(micros >> 8), static_cast<std::uint8_t>(micros)});
    }
    Track &end(std::uint32_t ticks) { return event(ticks, {0xFF, 0x2F, 0}); }
};

inline std::vector<std::uint8_t> smf(std::uint16_t format, std::uint16_t division,
                                     std::initializer_list<Track> tracks) {
    std::vector<std::uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
    const auto bigEndian16 = [&](std::size_t value) {
        out.insert(out.end(), {std::uint8_t(value >> 8), std::uint8_t(value)});
    };
    for (std::size_t value : {std::size_t{format}, tracks.size(), std::size_t{division}})
        bigEndian16(value);
    for (const auto &track : tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        bigEndian16(track.bytes.size() >> 16);
        bigEndian16(track.bytes.size() & 0xFFFF);
        out.insert(out.end(), track.bytes.begin(), track.bytes.end());
    }
    return out;
}

} // namespace parlet::testdata
