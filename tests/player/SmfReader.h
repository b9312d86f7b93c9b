#pragma once
// A small reader for the files the writer produces, written independently of it: it checks the
// chunk structure and returns every track event with its absolute tick.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace parlet::testing {

struct SmfEvent {
    std::uint64_t tick = 0;            // absolute
    std::vector<std::uint8_t> message; // status and data bytes; meta events as FF type data...
};

struct SmfFile {
    int format = -1, tracks = -1, division = -1;
    std::vector<SmfEvent> events;
};

inline std::vector<std::uint8_t> readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline SmfFile parseSmf(const std::vector<std::uint8_t> &bytes) {
    std::size_t pos = 0;
    auto fail = [&](const std::string &what) { throw std::runtime_error(what); };
    auto u8 = [&]() {
        if (pos >= bytes.size())
            fail("file ends early");
        return bytes[pos++];
    };
    auto be = [&](int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 8 | u8();
        return v;
    };
    auto tag = [&](const char *expected) {
        if (std::string{char(u8()), char(u8()), char(u8()), char(u8())} != expected)
            fail(std::string("missing ") + expected);
    };
    auto varLen = [&]() {
        std::uint32_t v = 0;
        for (int n = 0; n < 4; ++n) {
            std::uint8_t b = u8();
            v = v << 7 | (b & 0x7F);
            if ((b & 0x80) == 0)
                return v;
        }
        throw std::runtime_error("variable-length quantity longer than 4 bytes");
    };

    SmfFile file;
    tag("MThd");
    if (be(4) != 6)
        fail("header length");
    file.format = static_cast<int>(be(2));
    file.tracks = static_cast<int>(be(2));
    file.division = static_cast<int>(be(2));
    tag("MTrk");
    if (std::uint32_t length = be(4); pos + length != bytes.size())
        fail("track length " + std::to_string(length) + " disagrees with the file size");
    std::uint64_t tick = 0;
    bool ended = false;
    while (pos < bytes.size()) {
        if (ended)
            fail("bytes after End of Track");
        tick += varLen();
        SmfEvent event{tick, {u8()}};
        const std::uint8_t status = event.message[0];
        if (status < 0x80)
            fail("running status is never written");
        int data = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
        if (status == 0xFF) {
            event.message.push_back(u8());
            ended = event.message[1] == 0x2F;
            data = static_cast<int>(varLen());
        } else if (status >= 0xF0) {
            data = status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
        }
        for (int i = 0; i < data; ++i)
            event.message.push_back(u8());
        file.events.push_back(std::move(event));
    }
    if (!ended)
        fail("no End of Track");
    return file;
}

} // namespace parlet::testing
