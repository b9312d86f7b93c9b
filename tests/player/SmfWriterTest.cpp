#include "player/SmfWriter.h"
#include "platform/stream/SmfReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace parlet::smf {
namespace {

using namespace std::literals;
using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<seq::Entry>;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr seq::Entry kTempoEntry{seq::kTempoEntry, 0};

Bytes readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "90 3C 64" as bytes.
Bytes hex(const std::string &text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The events written between the Set Tempo event and the End of Track.
Bytes body(const Encoded &encoded) {
    return {encoded.bytes.begin() + 29, encoded.bytes.end() - 5};
}

TEST(SmfWriter, WholeFiles) {
    const std::string head = "4D 54 68 64 00 00 00 06 00 00 00 01 01 F4 4D 54 72 6B 00 00 00 ";
    const std::string tempo = "00 FF 51 03 07 A1 20 ", end = "84 00 FF 2F 00";
    auto check = [](const Entries &entries, DeltaMode mode, const std::string &file, size_t size) {
        ASSERT_EQ(hex(file).size(), size);
        EXPECT_THAT(encode(entries, mode).bytes, ElementsAreArray(hex(file)));
    };
    check({kTempoEntry, {0x00643C90, 1500}, {0x00403C80, 2000}}, DeltaMode::Absolute,
          head + "16 " + tempo + "8B 5C 90 3C 64 83 74 80 3C 40 " + end, 44);
    check({kTempoEntry, {0x00643C90, 0}, {0x00403C80, 500}}, DeltaMode::Stored,
          head + "15 " + tempo + "00 90 3C 64 83 74 80 3C 40 " + end, 43);
    check({kTempoEntry}, DeltaMode::Absolute, head + "0C " + tempo + end, 34);
}

TEST(SmfWriter, VariableLengthDeltas) {
    // The smallest and largest delta of each length.
    const std::int32_t deltas[] = {0, 127, 128, 16383, 16384, 2097151, 2097152, 268435455};
    const char *written[] = {"00",       "7F",       "81 00",       "FF 7F",
                             "81 80 00", "FF FF 7F", "81 80 80 00", "FF FF FF 7F"};
    for (std::size_t i = 0; i < std::size(deltas); ++i) {
        for (auto mode : {DeltaMode::Absolute, DeltaMode::Stored}) {
            auto encoded = encode(Entries{kTempoEntry, {0x05C0, deltas[i]}}, mode);
            EXPECT_THAT(body(encoded), ElementsAreArray(hex(written[i] + " C0 05"s))) << deltas[i];
            EXPECT_EQ(readSmf(encoded.bytes)->events.at(1).tick, std::uint32_t(deltas[i]));
        }
    }
}

TEST(SmfWriter, RefusesDeltasAQuantityCannotHoldAndLeavesTheFileAlone) {
    const Entries refused[] = {
        {kTempoEntry, {0x90, 268435456}},
        {kTempoEntry, {0x90, 1000}, {0xF8, 5000}, {0x80, 268436456}}, // carried past the limit
        {kTempoEntry, {0x90, 1000}, {0x80, 999}}                      // time runs backwards
    };
    for (const auto &entries : refused)
        EXPECT_TRUE(encode(entries, DeltaMode::Absolute).bytes.empty());
    EXPECT_THAT(encode(refused[0], DeltaMode::Stored).error, HasSubstr("268435456 ms"));

    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("long.mid")).toStdString();
    std::ofstream(path) << "keep me";
    auto result = writeFile(path, refused[0], DeltaMode::Absolute);
    EXPECT_THAT(result.error, HasSubstr(path));
    EXPECT_THAT(result.error, HasSubstr("still in memory"));
    EXPECT_EQ(readBytes(path), hex("6B 65 65 70 20 6D 65")); // "keep me"
}

TEST(SmfWriter, StatusBytesAndTheirData) {
    const std::pair<std::uint32_t, const char *> cases[] = {
        {0x00003C80, "80 3C 00"}, {0x00643C90, "90 3C 64"}, {0x00203CA3, "A3 3C 20"},
        {0x007F07BF, "BF 07 7F"}, {0x00000AC5, "C5 0A"},    {0x000040DF, "DF 40"},
        {0x00407FE0, "E0 7F 40"}, // pitch bend: low 7 bits first
        {0x00001AF1, "F1 1A"},    {0x00020AF2, "F2 0A 02"}, {0x000005F3, "F3 05"},
        {0x000000F6, "F6"}};
    const std::uint32_t skipped[] = {0xF0, 0xF4, 0xF5,  0xF7, 0xF8, 0xF9,
                                     0xFD, 0xFE, 0x1FF, 0x3C, 0x7F};
    auto bodyFor = [](std::uint32_t word) {
        return body(encode(Entries{kTempoEntry, {std::int32_t(word), 10}}, DeltaMode::Absolute));
    };
    for (const auto &[word, bytes] : cases)
        EXPECT_THAT(bodyFor(word), ElementsAreArray(hex("0A "s + bytes))) << std::hex << word;
    for (auto word : skipped)
        EXPECT_TRUE(bodyFor(word).empty()) << std::hex << word;
}

// Why a write failed is the save dialog's test; here only that nothing of the old file stays.
TEST(SmfWriter, ReplacesALongerFile) {
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("take.mid")).toStdString();
    std::ofstream(path, std::ios::binary) << std::string(5000, 'x');
    Entries entries{kTempoEntry, {0x00643C90, 1500}};
    ASSERT_TRUE(writeFile(path, entries, DeltaMode::Absolute).ok());
    EXPECT_EQ(readBytes(path), encode(entries, DeltaMode::Absolute).bytes);
}

// A long capture through the buffer, saved both ways and read back by the player's reader:
// every fifth entry is skipped, its time carried into the next delta when saved from the capture
// and lost when saved from the sequencer's deltas.
TEST(SmfWriter, LongCapturesReadBack) {
    seq::CaptureBuffer buffer;
    buffer.capReset();
    for (std::int32_t i = 0, time = 0; i < 40000; ++i) {
        time += (i * 7919) % 3000; // pauses from 0 up to 3 s, some needing 2-byte deltas
        buffer.capAppend(i % 5 == 4 ? 0xFE : 0x90 | (i % 16) | (i % 128) << 8 | 64 << 16, time);
    }
    QTemporaryDir dir;
    std::string paths[] = {dir.filePath(QStringLiteral("c.mid")).toStdString(),
                           dir.filePath(QStringLiteral("s.mid")).toStdString()};
    const auto captured = buffer.entries();
    ASSERT_TRUE(writeCaptureFile(paths[0], buffer).ok());
    buffer.capToDeltas();
    ASSERT_TRUE(writeSequencerFile(paths[1], buffer).ok());
    SmfFile files[2];
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(loadSmf(paths[f], files[f]), SmfLoad::Ok);
        EXPECT_EQ(std::tie(files[f].format, files[f].tracks, files[f].division),
                  std::make_tuple(0, 1, 500));
        ASSERT_EQ(files[f].events.size(), 1 + 32000u);
    }
    std::uint32_t sequenceTick = 0;
    for (std::size_t i = 1, k = 1; i < captured.size(); ++i) {
        sequenceTick += i % 5 == 0 ? 0 : std::uint32_t(captured[i].time - captured[i - 1].time);
        if (captured[i].event == 0xFE)
            continue;
        ASSERT_EQ(files[0].events[k].word, std::uint32_t(captured[i].event));
        ASSERT_EQ(files[1].events[k].word, std::uint32_t(captured[i].event));
        ASSERT_EQ(files[0].events[k].tick, std::uint32_t(captured[i].time)) << k;
        ASSERT_EQ(files[1].events[k++].tick, sequenceTick) << k;
    }
    EXPECT_EQ(files[0].endTick, files[0].events.back().tick + 512);
}

} // namespace
} // namespace parlet::smf
