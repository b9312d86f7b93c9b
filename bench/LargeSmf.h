#pragma once
// The large test file of the benchmarks, written the same way every time.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace bench {

inline void put(std::vector<std::uint8_t> &out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// 533,200 events of format 0: notes on all 16 channels, now and then a controller.
inline bool writeLargeFile(const char *path) {
    constexpr std::uint32_t events = 533200;
    std::vector<std::uint8_t> track;
    track.reserve(events * 5);
    std::uint32_t seed = 12345;
    for (std::uint32_t i = 0; i < events; ++i) {
        seed = seed * 1103515245 + 12345;
        std::uint32_t delta = (seed >> 16) % 200; // one or two bytes
        if (delta >= 128)
            track.push_back(static_cast<std::uint8_t>(0x80 | (delta >> 7)));
        track.push_back(static_cast<std::uint8_t>(delta & 0x7F));
        auto channel = static_cast<std::uint8_t>(i % 16);
        auto key = static_cast<std::uint8_t>(36 + (seed >> 8) % 48);
        if (i % 50 == 49) // now and then a controller
            track.insert(track.end(), {static_cast<std::uint8_t>(0xB0 | channel), 7, 100});
        else
            track.insert(track.end(), {static_cast<std::uint8_t>(0x90 | channel), key,
                                       static_cast<std::uint8_t>(i % 2 ? 0 : 90)});
    }
    track.insert(track.end(), {0, 0xFF, 0x2F, 0});
    std::vector<std::uint8_t> file{'M', 'T', 'h', 'd'};
    put(file, 6, 4);
    put(file, 0, 2);
    put(file, 1, 2);
    put(file, 480, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    put(file, static_cast<std::uint32_t>(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    std::FILE *out = std::fopen(path, "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}

} // namespace bench
