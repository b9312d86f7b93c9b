#include "SmfReader.h"

#include "StreamPlayer.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <sstream>

namespace parlet {
namespace {

class Cursor {
  public:
    Cursor(const std::uint8_t *at, const std::uint8_t *end) : m_at(at), m_end(end) {}
    bool atEnd() const { return m_at >= m_end; }
    std::size_t left() const { return static_cast<std::size_t>(m_end - m_at); }
    const std::uint8_t *at() const { return m_at; }
    bool byte(std::uint8_t &value) {
        if (m_at >= m_end)
            return false;
        value = *m_at++;
        return true;
    }
    bool peek(std::uint8_t &value) const {
        if (m_at >= m_end)
            return false;
        value = *m_at;
        return true;
    }
    // A variable-length quantity: at most four bytes, as the file format allows.
    bool quantity(std::uint32_t &value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b;
            if (!byte(b))
                return false;
            value = (value << 7) | (b & 0x7Fu);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
    bool skip(std::size_t count) {
        if (left() < count)
            return false;
        m_at += count;
        return true;
    }

  private:
    const std::uint8_t *m_at;
    const std::uint8_t *m_end;
};

std::uint32_t bigEndian(const std::uint8_t *p, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | p[i];
    return value;
}

bool readTrack(Cursor track, SmfFile &file) {
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (true) {
        std::uint32_t delta;
        if (!track.quantity(delta))
            return false;
        tick += delta;
        if (tick > 0xFFFFFFFFu)
            return false;
        auto now = static_cast<std::uint32_t>(tick);
        std::uint8_t status;
        if (!track.peek(status))
            return false;
        if (status < 0x80) {
            if (!running)
                return false;
            status = running;
        } else {
            track.skip(1);
        }
        if (status < 0xF0) {
            running = status;
            unsigned dataBytes = StreamPlayer::shortLength(status) - 1;
            std::uint32_t word = status;
            for (unsigned i = 0; i < dataBytes; ++i) {
                std::uint8_t data;
                if (!track.byte(data) || data & 0x80)
                    return false;
                word |= std::uint32_t{data} << (8 * (i + 1));
            }
            file.events.push_back({now, SmfEvent::Short, word, 0});
        } else if (status == 0xF0 || status == 0xF7) {
            std::uint32_t length;
            if (!track.quantity(length) || track.left() < length)
                return false;
            // F0 starts a message whose F0 the file leaves out of the length; F7 escapes any
            // bytes, which go out as they stand.
            auto offset = static_cast<std::uint32_t>(file.longData.size());
            if (status == 0xF0)
                file.longData.push_back(0xF0);
            file.longData.insert(file.longData.end(), track.at(), track.at() + length);
            track.skip(length);
            auto sent = static_cast<std::uint32_t>(file.longData.size()) - offset;
            if (sent)
                file.events.push_back({now, SmfEvent::Long, offset, sent});
        } else if (status == 0xFF) {
            std::uint8_t type;
            std::uint32_t length;
            if (!track.byte(type) || !track.quantity(length) || track.left() < length)
                return false;
            if (type == 0x2F) {
                file.endTick = std::max(file.endTick, now);
                return true; // whatever follows the end in the chunk is ignored
            }
            if (type == 0x51 && length == 3) {
                auto tempo = bigEndian(track.at(), 3);
                if (tempo)
                    file.events.push_back({now, SmfEvent::Tempo, tempo, 0});
            }
            track.skip(length);
        } else {
            return false; // system common and real-time bytes have no place in a file
        }
    }
}

// A file of `size` bytes, read one chunk at a time: what no chunk needs is never read. `read` and
// `skip` take exactly `count` bytes or fail, `take` gives the next `count` bytes in memory.
class FileSource {
  public:
    FileSource(std::istream &in, std::uint64_t size) : m_in(in), m_left(size) {}
    std::uint64_t left() const { return m_left; }
    bool read(std::uint8_t *to, std::size_t count) {
        if (count > m_left || !m_in.read(reinterpret_cast<char *>(to), std::streamsize(count)))
            return false;
        m_left -= count;
        return true;
    }
    bool skip(std::uint64_t count) {
        if (count > m_left || !m_in.seekg(std::streamoff(count), std::ios::cur))
            return false;
        m_left -= count;
        return true;
    }
    std::optional<std::span<const std::uint8_t>> take(std::uint64_t count) {
        if (count > m_left)
            return std::nullopt;
        m_chunk.resize(static_cast<std::size_t>(count));
        if (!read(m_chunk.data(), m_chunk.size()))
            return std::nullopt;
        return m_chunk;
    }

  private:
    std::istream &m_in;
    std::uint64_t m_left;
    std::vector<std::uint8_t> m_chunk;
};

// The header first, then the tracks that it declares, skipping chunks of other kinds; whatever
// follows the last declared track is not looked at.
std::optional<SmfFile> readChunks(FileSource &source) {
    std::uint8_t header[14];
    if (!source.read(header, sizeof header) || bigEndian(header, 4) != 0x4D546864) // "MThd"
        return std::nullopt;
    std::uint32_t headerLength = bigEndian(header + 4, 4);
    if (headerLength < 6 || !source.skip(headerLength - 6))
        return std::nullopt;
    SmfFile file;
    file.format = static_cast<std::uint16_t>(bigEndian(header + 8, 2));
    const std::uint32_t declared = bigEndian(header + 10, 2);
    file.division = static_cast<std::uint16_t>(bigEndian(header + 12, 2));
    if (file.format > 1 || !StreamPlayer::validDivision(file.division))
        return std::nullopt;
    std::uint8_t chunk[8];
    while (file.tracks < declared && source.read(chunk, sizeof chunk)) {
        std::uint32_t length = bigEndian(chunk + 4, 4);
        if (bigEndian(chunk, 4) != 0x4D54726B) { // "MTrk"
            if (!source.skip(length))
                return std::nullopt;
            continue;
        }
        auto track = source.take(length);
        if (!track)
            return std::nullopt;
        // Most events take three or four bytes.
        const std::size_t wanted = file.events.size() + track->size() / 4;
        if (wanted > file.events.capacity())
            file.events.reserve(std::max(wanted, 2 * file.events.capacity()));
        if (!readTrack(Cursor(track->data(), track->data() + track->size()), file))
            return std::nullopt;
        ++file.tracks;
    }
    if (file.tracks == 0)
        return std::nullopt;
    if (file.tracks > 1) {
        // Each track is in time order already; a stable sort keeps equal ticks in track order.
        std::stable_sort(file.events.begin(), file.events.end(),
                         [](const SmfEvent &a, const SmfEvent &b) { return a.tick < b.tick; });
    }
    return file;
}

} // namespace

std::optional<SmfFile> readSmf(std::span<const std::uint8_t> bytes) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    FileSource source(in, bytes.size());
    return readChunks(source);
}

SmfLoad loadSmf(const std::string &path, SmfFile &file) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return SmfLoad::Missing;
    const std::streamoff size = in.tellg();
    if (size < 0 || !in.seekg(0))
        return SmfLoad::Missing; // a folder or a pipe
    FileSource source(in, static_cast<std::uint64_t>(size));
    try {
        auto parsed = readChunks(source);
        if (!parsed)
            return SmfLoad::Invalid;
        file = std::move(*parsed);
        return SmfLoad::Ok;
    } catch (const std::bad_alloc &) {
        return SmfLoad::Invalid; // more events than memory holds: not a file that can be played
    }
}

} // namespace parlet
