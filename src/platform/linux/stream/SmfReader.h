#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace parlet {

// One playable event of a Standard MIDI File, at its absolute tick.
struct SmfEvent {
    enum Kind : std::uint8_t { Short, Tempo, Long };
    std::uint32_t tick = 0;
    Kind kind = Short;
    // Short: status | data1 << 8 | data2 << 16. Tempo: microseconds per quarter note.
    // Long: offset of its bytes in SmfFile::longData.
    std::uint32_t word = 0;
    std::uint32_t length = 0; // Long only: bytes to send as they are
};

// A file of format 0 or 1, its tracks merged in time order (events of the same tick keep the
// order of their tracks). Meta events other than tempo are dropped.
struct SmfFile {
    std::uint16_t format = 0;
    std::uint16_t tracks = 0;
    std::uint16_t division = 0; // as the stream takes it: ticks per quarter or SMPTE
    std::uint32_t endTick = 0;  // the latest end of track
    std::vector<SmfEvent> events;
    std::vector<std::uint8_t> longData; // system-exclusive bytes, F0 included
};

// Nullopt for anything that is not a complete, playable file: wrong header, format 2, a chunk
// or event running past its end, a track without its end, an impossible division, no track.
// Only as many tracks as the header declares are read; what follows them is ignored.
std::optional<SmfFile> readSmf(std::span<const std::uint8_t> bytes);

enum class SmfLoad { Ok, Missing, Invalid };
// Reads the header, then the chunks it needs one at a time, so that a file that is no MIDI file
// is refused however large it is; Invalid also for one with more events than memory holds.
SmfLoad loadSmf(const std::string &path, SmfFile &file);

} // namespace parlet
