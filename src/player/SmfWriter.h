#pragma once
// Standard MIDI File writer: format 0, one track, division 500 at a fixed tempo of 500000
// microseconds per quarter note, so that one tick is one millisecond and buffer times are written
// unchanged.
#include "player/seq.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace parlet::smf {

// How an entry's delta time is obtained.
enum class DeltaMode {
    // Times are absolute (the capture window): each written delta is the time since the
    // previously written entry, so a skipped entry's time carries into the next delta.
    Absolute,
    // Times already are deltas (the sequencer after capToDeltas): written unchanged; a skipped
    // entry's delta is dropped.
    Stored,
};

// The largest delta a four-byte variable-length quantity holds (about 74.5 hours).
inline constexpr std::int64_t kMaxDelta = 0x0FFFFFFF;

struct Encoded {
    std::vector<std::uint8_t> bytes; // the whole file; empty when refused
    std::string error;               // why the entries cannot be written, else empty
    bool ok() const { return error.empty(); }
};

// The file's bytes for these buffer entries (entry 0 being the tempo entry). Refused, rather than
// written corrupt, when a delta is negative or above kMaxDelta.
Encoded encode(std::span<const seq::Entry> entries, DeltaMode mode);

struct WriteResult {
    std::string error; // a message for the user naming the file and the reason, else empty
    bool ok() const { return error.empty(); }
};

// Creates `path`, or replaces the whole contents of an existing file. Nothing is created or
// changed when the entries are refused.
WriteResult writeFile(const std::string &path, std::span<const seq::Entry> entries, DeltaMode mode);

} // namespace parlet::smf
