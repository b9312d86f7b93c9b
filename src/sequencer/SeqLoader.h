#pragma once
// The sequencer's reader of format-0 MIDI files into the capture buffer. It keeps to the
// sequencer's own rules (running status, meta events dropped with their deltas carried on, tempo
// events kept as pseudo-events, a message for every file it refuses) rather than the general
// reader's, so that what plays is exactly what the user was told was loaded.
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "player/seq.h"

#include <cstdint>
#include <istream>
#include <string>

namespace parlet::sequencer {

// What the loader tells the window besides the store.
struct SeqFileInfo {
    // The header's division widened from signed 16 bits: an SMPTE division is negative.
    std::int32_t seqDivision = 0;
    bool seqSmpte = false;
    // Set by every load that got as far as opening a file; only recordings may be saved.
    bool seqFromFile = false;
};

// The bytes of a file read in order, each when it is needed, so that nothing past the header is
// read from a file that is refused there; bytes past its end read as 0, as the file's end is only
// looked at between events.
class SeqFileReader {
  public:
    // Reads the stream's buffer directly: a stream's own get() costs three times as much a byte.
    explicit SeqFileReader(std::istream &file) : m_file(*file.rdbuf()) {}
    std::uint8_t byte() {
        ++m_pos;
        auto c = m_file.sbumpc();
        return c == std::istream::traits_type::eof() ? 0 : static_cast<std::uint8_t>(c);
    }
    std::uint32_t bigEndian(int count);
    // A variable-length quantity: seven bits a byte, most significant first, bit 7 set on all
    // but the last byte.
    void readVarLen(std::uint32_t &value);
    // Passed over without being read.
    void skip(std::uint32_t count) {
        m_pos += count;
        m_file.pubseekoff(count, std::ios::cur, std::ios::in);
    }
    std::uint64_t position() const { return m_pos; }
    bool atEnd() { return m_file.sgetc() == std::istream::traits_type::eof(); }

  private:
    std::streambuf &m_file;
    std::uint64_t m_pos = 0;
};

// Resets `buffer` and fills it from `file`, the file at `path` (named in messages). Every
// refusal is shown on `messages`; what was stored before it stays.
void loadMidiStream(std::istream &file, const std::string &path, MessageBoxes &messages,
                    seq::CaptureBuffer &buffer, SeqFileInfo &info);

// Asks for a file at `midDir`/`midFile` and loads it. A cancelled dialog changes nothing;
// otherwise `midDir` and `midFile` name the chosen file whether or not it loads.
void loadMidiFile(FileDialogs &dialogs, MessageBoxes &messages, std::string &midDir,
                  std::string &midFile, seq::CaptureBuffer &buffer, SeqFileInfo &info);

} // namespace parlet::sequencer
