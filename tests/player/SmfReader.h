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
    int format = -1;
    int tracks = -1;
    int division = -1;
    std::vector<SmfEvent> events;
};

inline std::vector<std::uint8_t> readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline SmfFile parseSmf(const std::vector<std::uint8_t> &bytes) {
    std::size_t pos = 0;
    auto need = [&](std::size_t n) {
        if (pos + n > bytes.size())
            throw std::runtime_error("file ends early at " + std::to_string(pos));
    };
    auto u8 = [&]() {
        need(1);
        return bytes[pos++];
    };
    auto be = [&](int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 8 | u8();
        return v;
    };
    auto tag = [&](const char *expected) {
        need(4);
        if (std::string(bytes.begin() + static_cast<long>(pos),
                        bytes.begin() + static_cast<long>(pos) + 4) != expected)
            throw std::runtime_error(std::string("missing ") + expected);
        pos += 4;
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
        throw std::runtime_error("header length");
    file.format = static_cast<int>(be(2));
    file.tracks = static_cast<int>(be(2));
    file.division = static_cast<int>(be(2));
    tag("MTrk");
    std::uint32_t length = be(4);
    if (pos + length != bytes.size())
        throw std::runtime_error("track length " + std::to_string(length) + " but " +
                                 std::to_string(bytes.size() - pos) + " bytes follow");
    std::uint64_t tick = 0;
    bool ended = false;
    while (pos < bytes.size()) {
        if (ended)
            throw std::runtime_error("bytes after End of Track");
        tick += varLen();
        SmfEvent event{tick, {}};
        std::uint8_t status = u8();
        if (status < 0x80)
            throw std::runtime_error("running status is never written");
        event.message.push_back(status);
        int data = 0;
        switch (status >> 4) {
        case 0xC:
        case 0xD:
            data = 1;
            break;
        case 0xF:
            if (status == 0xFF) {
                std::uint8_t type = u8();
                event.message.push_back(type);
                data = static_cast<int>(varLen());
                ended = type == 0x2F;
            } else {
                data = status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
            }
            break;
        default:
            data = 2;
        }
        for (int i = 0; i < data; ++i)
            event.message.push_back(u8());
        file.events.push_back(std::move(event));
    }
    if (!ended)
        throw std::runtime_error("no End of Track");
    return file;
}

} // namespace parlet::testing
