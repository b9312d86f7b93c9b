#include "SmfWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace parlet::smf {

namespace {

constexpr std::uint8_t kHeader[] = {
    'M',  'T',  'h',  'd',  0,    0,    0,    6,
    0,    0,    0,    1,    0x01, 0xF4,          // format 0, 1 track, division 500
    'M',  'T',  'r',  'k',  0,    0,    0,    0, // length patched at the end
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,    // Set Tempo 500000
};
constexpr std::size_t kLengthOffset = 18;
constexpr std::size_t kTrackStart = 22;
constexpr std::uint8_t kEndOfTrack[] = {0x84, 0x00, 0xFF, 0x2F, 0x00}; // at delta 512

std::string describeDelta(std::int64_t delta, std::size_t index) {
    if (delta < 0)
        return "event " + std::to_string(index) + " is timed " + std::to_string(-delta) +
               " ms before the event preceding it";
    return "the pause of " + std::to_string(delta) + " ms before event " + std::to_string(index) +
           " is longer than a MIDI file can hold (at most " + std::to_string(kMaxDelta) + " ms)";
}

// Number of data bytes written after a status byte, or -1 when the entry is not written at all
// (the tempo entry, real-time and undefined status bytes, data bytes).
int dataByteCount(std::uint8_t status) {
    if (status >= 0x80 && status <= 0xBF)
        return 2;
    if (status >= 0xC0 && status <= 0xDF)
        return 1;
    if (status >= 0xE0 && status <= 0xEF)
        return 2;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    case 0xF6:
        return 0;
    default:
        return -1;
    }
}

// Appends `value` (0 to kMaxDelta) as a variable-length quantity.
void appendVarLen(std::vector<std::uint8_t> &out, std::uint32_t value) {
    bool started = false;
    for (int shift = 21; shift > 0; shift -= 7) {
        std::uint32_t group = value >> shift;
        if (started || group != 0) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (group & 0x7F)));
            started = true;
        }
    }
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
}

} // namespace

Encoded encode(std::span<const seq::Entry> entries, DeltaMode mode) {
    Encoded result;
    auto &out = result.bytes;
    // Most captured messages take 4 to 6 bytes; one reservation avoids regrowth.
    out.reserve(sizeof kHeader + sizeof kEndOfTrack + entries.size() * 6);
    out.assign(std::begin(kHeader), std::end(kHeader));

    std::int64_t lastWrittenTime = 0; // entry 0, the tempo entry, stands at time 0
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto word = static_cast<std::uint32_t>(entries[i].event);
        auto status = static_cast<std::uint8_t>(word & 0xFF);
        int dataBytes = dataByteCount(status);
        if (dataBytes < 0)
            continue;
        std::int64_t delta = mode == DeltaMode::Absolute ? entries[i].time - lastWrittenTime
                                                         : std::int64_t{entries[i].time};
        if (delta < 0 || delta > kMaxDelta) {
            result.bytes.clear();
            result.error = describeDelta(delta, i);
            return result;
        }
        lastWrittenTime = entries[i].time;
        appendVarLen(out, static_cast<std::uint32_t>(delta));
        out.push_back(status);
        if (dataBytes >= 1)
            out.push_back(static_cast<std::uint8_t>(word >> 8));
        if (dataBytes == 2)
            out.push_back(static_cast<std::uint8_t>(word >> 16));
    }
    out.insert(out.end(), std::begin(kEndOfTrack), std::end(kEndOfTrack));

    auto length = static_cast<std::uint32_t>(out.size() - kTrackStart);
    for (int i = 0; i < 4; ++i)
        out[kLengthOffset + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(length >> (24 - 8 * i));
    return result;
}

WriteResult writeFile(const std::string &path, std::span<const seq::Entry> entries,
                      DeltaMode mode) {
    Encoded encoded = encode(entries, mode);
    if (!encoded.ok())
        return {"The MIDI file " + path + " was not written: " + encoded.error +
                ". The recording is still in memory."};

    auto failure = [&path](int error) {
        return WriteResult{"The MIDI file " + path +
                           " could not be written: " + std::strerror(error) +
                           ". The recording is still in memory; save it under another name or "
                           "in another folder."};
    };
    // "wb" truncates, so a longer file that is replaced keeps nothing of its old contents.
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return failure(errno);
    errno = 0;
    std::size_t written = std::fwrite(encoded.bytes.data(), 1, encoded.bytes.size(), file);
    int writeError = written == encoded.bytes.size() ? 0 : (errno != 0 ? errno : EIO);
    // Closing flushes; a full disk often shows only here.
    errno = 0;
    if (std::fclose(file) != 0 && writeError == 0)
        writeError = errno != 0 ? errno : EIO;
    if (writeError != 0)
        return failure(writeError);
    return {};
}

} // namespace parlet::smf
