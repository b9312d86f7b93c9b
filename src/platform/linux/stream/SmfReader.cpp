#include "SmfReader.h"

#include "StreamPlayer.h"

#include <algorithm>
#include <cstdio>
#include <memory>

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

} // namespace

std::optional<SmfFile> readSmf(std::span<const std::uint8_t> bytes) {
    const std::uint8_t *data = bytes.data();
    std::size_t size = bytes.size();
    if (size < 14 || bigEndian(data, 4) != 0x4D546864) // "MThd"
        return std::nullopt;
    std::uint32_t headerLength = bigEndian(data + 4, 4);
    if (headerLength < 6 || headerLength > size - 8)
        return std::nullopt;
    SmfFile file;
    file.format = static_cast<std::uint16_t>(bigEndian(data + 8, 2));
    file.division = static_cast<std::uint16_t>(bigEndian(data + 12, 2));
    if (file.format > 1 || !StreamPlayer::validDivision(file.division))
        return std::nullopt;
    file.events.reserve(size / 4); // most events take three or four bytes
    std::size_t pos = 8 + headerLength;
    std::vector<std::size_t> trackStarts;
    while (size - pos >= 8) {
        std::uint32_t id = bigEndian(data + pos, 4);
        std::uint32_t length = bigEndian(data + pos + 4, 4);
        pos += 8;
        if (length > size - pos)
            return std::nullopt;
        if (id == 0x4D54726B) { // "MTrk"
            trackStarts.push_back(file.events.size());
            if (!readTrack(Cursor(data + pos, data + pos + length), file))
                return std::nullopt;
        }
        pos += length;
    }
    if (trackStarts.empty())
        return std::nullopt;
    file.tracks = static_cast<std::uint16_t>(std::min<std::size_t>(trackStarts.size(), 0xFFFF));
    if (trackStarts.size() > 1) {
        // Each track is in time order already; a stable sort keeps equal ticks in track order.
        std::stable_sort(file.events.begin(), file.events.end(),
                         [](const SmfEvent &a, const SmfEvent &b) { return a.tick < b.tick; });
    }
    return file;
}

SmfLoad loadSmf(const std::string &path, SmfFile &file) {
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> stream(std::fopen(path.c_str(), "rb"),
                                                            &std::fclose);
    if (!stream)
        return SmfLoad::Missing;
    std::vector<std::uint8_t> bytes;
    if (std::fseek(stream.get(), 0, SEEK_END) == 0) {
        long size = std::ftell(stream.get());
        std::fseek(stream.get(), 0, SEEK_SET);
        if (size > 0)
            bytes.resize(static_cast<std::size_t>(size));
        if (std::fread(bytes.data(), 1, bytes.size(), stream.get()) != bytes.size())
            return SmfLoad::Missing;
    } else {
        return SmfLoad::Missing; // a folder or a pipe
    }
    auto parsed = readSmf(bytes);
    if (!parsed)
        return SmfLoad::Invalid;
    file = std::move(*parsed);
    return SmfLoad::Ok;
}

} // namespace parlet
