#include "player/SmfWriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace parlet::smf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<seq::Entry>;

constexpr seq::Entry kTempo{seq::kTempoEntry, 0};

// "90 3C 64" as bytes.
Bytes hex(const std::string &text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// A skipped entry's time carries into the next delta when times are absolute, and is lost when
// they are deltas already.
TEST(SmfWriter, WholeFiles) {
    const std::string head = "4D 54 68 64 00 00 00 06 00 00 00 01 01 F4 4D 54 72 6B 00 00 00 ";
    const std::string tempo = "00 FF 51 03 07 A1 20 ", end = "84 00 FF 2F 00";
    const std::tuple<Entries, DeltaMode, std::string> cases[] = {
        {{kTempo, {0x00643C90, 1500}, {0xF8, 1800}, {0x00403C80, 2000}},
         DeltaMode::Absolute,
         head + "16 " + tempo + "8B 5C 90 3C 64 83 74 80 3C 40 " + end},
        {{kTempo, {0x00643C90, 0}, {0xF8, 300}, {0x00403C80, 500}},
         DeltaMode::Stored,
         head + "15 " + tempo + "00 90 3C 64 83 74 80 3C 40 " + end},
        {{kTempo}, DeltaMode::Absolute, head + "0C " + tempo + end}};
    for (const auto &[entries, mode, file] : cases)
        EXPECT_EQ(encode(entries, mode).bytes, hex(file));
}

// One entry after the tempo entry: its delta in as few bytes as it takes (the smallest and
// largest of each length), its status and data bytes (pitch bend low 7 bits first), or nothing.
TEST(SmfWriter, DeltasStatusBytesAndTheirData) {
    // clang-format off
    const std::tuple<std::uint32_t, std::int32_t, std::string> cases[] = {
        {0x05C0, 127, "7F C0 05"}, {0x05C0, 128, "81 00 C0 05"}, {0x05C0, 16383, "FF 7F C0 05"},
        {0x05C0, 16384, "81 80 00 C0 05"}, {0x05C0, 2097151, "FF FF 7F C0 05"},
        {0x05C0, 2097152, "81 80 80 00 C0 05"}, {0x05C0, 268435455, "FF FF FF 7F C0 05"},
        {0x3C80, 1, "01 80 3C 00"}, {0x203CBF, 1, "01 BF 3C 20"}, {0x40DF, 1, "01 DF 40"},
        {0x407FE0, 1, "01 E0 7F 40"}, {0x1AF1, 1, "01 F1 1A"}, {0x020AF2, 1, "01 F2 0A 02"},
        {0x05F3, 1, "01 F3 05"}, {0xF6, 1, "01 F6"}, {0xF0, 1, ""}, {0xF7, 1, ""}, {0xF9, 1, ""},
        {0xFE, 1, ""}, {0x1FF, 1, ""}, {0x3C, 1, ""}};
    // clang-format on
    for (const auto &[word, time, written] : cases) {
        auto file = encode(Entries{kTempo, {std::int32_t(word), time}}, DeltaMode::Absolute).bytes;
        EXPECT_EQ(Bytes(file.begin() + 29, file.end() - 5), hex(written))
            << std::hex << word << " at " << std::dec << time;
    }
}

// Refused rather than written corrupt, leaving the file on disk as it was; a skipped entry's
// time counts.
TEST(SmfWriter, RefusesDeltasAQuantityCannotHold) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("take.mid")).toStdString();
    std::ofstream(path, std::ios::binary) << "old";
    const Entries tooLong{kTempo, {0x90, 1000}, {0xF8, 5000}, {0x80, 268436456}};
    EXPECT_EQ(writeFile(path, tooLong, DeltaMode::Absolute).error,
              "The MIDI file " + path +
                  " was not written: the pause of 268435456 ms before event 3 is longer than a "
                  "MIDI file can hold (at most 268435455 ms). The recording is still in memory.");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

} // namespace
} // namespace parlet::smf
