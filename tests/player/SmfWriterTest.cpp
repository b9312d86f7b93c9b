#include "player/SmfWriter.h"
#include "player/SmfReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

namespace parlet::smf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using parlet::testing::parseSmf;
using parlet::testing::readBytes;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

const Bytes kHead = {0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xF4};
const Bytes kTempo = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
const Bytes kEnd = {0x84, 0x00, 0xFF, 0x2F, 0x00};
constexpr seq::Entry kTempoEntry{seq::kTempoEntry, 0};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes track(std::uint32_t length) {
    return {0x4D,
            0x54,
            0x72,
            0x6B,
            0,
            0,
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length)};
}

// The events written between the Set Tempo event and the End of Track.
Bytes body(const Encoded &encoded) {
    return {encoded.bytes.begin() + 29, encoded.bytes.end() - 5};
}

TEST(SmfWriter, WholeFiles) {
    struct Case {
        const char *name;
        std::vector<seq::Entry> entries;
        DeltaMode mode;
        Bytes expected;
    };
    const Case cases[] = {
        {"capture window",
         {kTempoEntry, {0x00643C90, 1500}, {0x00403C80, 2000}},
         DeltaMode::Absolute,
         concat({kHead,
                 track(0x16),
                 kTempo,
                 {0x8B, 0x5C, 0x90, 0x3C, 0x64},
                 {0x83, 0x74, 0x80, 0x3C, 0x40},
                 kEnd})},
        {"sequencer window",
         {kTempoEntry, {0x00643C90, 0}, {0x00403C80, 500}},
         DeltaMode::Stored,
         concat({kHead,
                 track(0x15),
                 kTempo,
                 {0x00, 0x90, 0x3C, 0x64},
                 {0x83, 0x74, 0x80, 0x3C, 0x40},
                 kEnd})},
        {"empty capture",
         {kTempoEntry},
         DeltaMode::Absolute,
         concat({kHead, track(0x0C), kTempo, kEnd})},
        {"empty sequence",
         {kTempoEntry},
         DeltaMode::Stored,
         concat({kHead, track(0x0C), kTempo, kEnd})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto encoded = encode(c.entries, c.mode);
        ASSERT_TRUE(encoded.ok()) << encoded.error;
        EXPECT_THAT(encoded.bytes, ElementsAreArray(c.expected));
    }
    EXPECT_EQ(cases[0].expected.size(), 44u);
    EXPECT_EQ(cases[1].expected.size(), 43u);
    EXPECT_EQ(cases[2].expected.size(), 34u);
}

TEST(SmfWriter, VariableLengthDeltas) {
    struct Case {
        std::int32_t delta;
        Bytes bytes;
    };
    const Case cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x00}},
        {16383, {0xFF, 0x7F}},
        {16384, {0x81, 0x80, 0x00}},
        {2097151, {0xFF, 0xFF, 0x7F}},
        {2097152, {0x81, 0x80, 0x80, 0x00}},
        {268435455, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.delta);
        for (auto mode : {DeltaMode::Absolute, DeltaMode::Stored}) {
            auto encoded = encode(std::vector<seq::Entry>{kTempoEntry, {0xF6, c.delta}}, mode);
            ASSERT_TRUE(encoded.ok()) << encoded.error;
            EXPECT_THAT(body(encoded), ElementsAreArray(concat({c.bytes, {0xF6}})));
            auto file = parseSmf(encoded.bytes);
            ASSERT_EQ(file.events.size(), 3u);
            EXPECT_EQ(file.events[1].tick, static_cast<std::uint64_t>(c.delta));
        }
    }
}

TEST(SmfWriter, RefusesDeltasAQuantityCannotHold) {
    const std::vector<std::vector<seq::Entry>> absolute = {
        {kTempoEntry, {0x90, 268435456}},
        {kTempoEntry, {0x90, 1000}, {0xF8, 5000}, {0x80, 268436456}}, // carried past the limit
        {kTempoEntry, {0x90, 1000}, {0x80, 999}},                     // time runs backwards
    };
    for (const auto &entries : absolute) {
        auto encoded = encode(entries, DeltaMode::Absolute);
        EXPECT_FALSE(encoded.ok());
        EXPECT_TRUE(encoded.bytes.empty());
    }
    auto stored =
        encode(std::vector<seq::Entry>{kTempoEntry, {0x90, 268435456}}, DeltaMode::Stored);
    EXPECT_THAT(stored.error, HasSubstr("268435456 ms"));

    // Refused before the file is touched: an existing file stays as it was.
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("long.mid")).toStdString();
    std::ofstream(path) << "keep me";
    auto result = writeFile(path, absolute[0], DeltaMode::Absolute);
    EXPECT_THAT(result.error, HasSubstr(path));
    EXPECT_THAT(result.error, HasSubstr("still in memory"));
    auto kept = readBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
}

TEST(SmfWriter, StatusBytesAndTheirData) {
    struct Case {
        std::uint32_t word;
        Bytes written; // after the delta
    };
    const Case cases[] = {
        {0x00643C90, {0x90, 0x3C, 0x64}},
        {0x00003C80, {0x80, 0x3C, 0x00}},
        {0x00203CA3, {0xA3, 0x3C, 0x20}},
        {0x007F07BF, {0xBF, 0x07, 0x7F}},
        {0x00000AC5, {0xC5, 0x0A}},
        {0x000040DF, {0xDF, 0x40}},
        {0x00407FE0, {0xE0, 0x7F, 0x40}}, // pitch bend: low 7 bits first
        {0x00001AF1, {0xF1, 0x1A}},
        {0x00020AF2, {0xF2, 0x0A, 0x02}},
        {0x000005F3, {0xF3, 0x05}},
        {0x000000F6, {0xF6}},
        {0x000000F0, {}},
        {0x000000F4, {}},
        {0x000000F5, {}},
        {0x000000F7, {}},
        {0x000000F8, {}},
        {0x000000F9, {}},
        {0x000000FD, {}},
        {0x000000FE, {}},
        {0x000001FF, {}},
        {0x0000003C, {}},
        {0x0000007F, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.word);
        auto encoded =
            encode(std::vector<seq::Entry>{kTempoEntry, {static_cast<std::int32_t>(c.word), 10}},
                   DeltaMode::Absolute);
        ASSERT_TRUE(encoded.ok());
        Bytes expected = c.written.empty() ? Bytes{} : concat({{0x0A}, c.written});
        EXPECT_THAT(body(encoded), ElementsAreArray(expected));
    }
}

TEST(SmfWriter, SkippedEntriesCarryOrDropTheirTime) {
    // Absolute: note at 100, a skipped tune-request-less status at 300, note at 400.
    auto absolute = encode(
        std::vector<seq::Entry>{
            kTempoEntry, {0x00643C90, 100}, {0x000000F4, 300}, {0x00643C90, 400}},
        DeltaMode::Absolute);
    EXPECT_THAT(body(absolute),
                ElementsAreArray(Bytes{0x64, 0x90, 0x3C, 0x64, 0x82, 0x2C, 0x90, 0x3C, 0x64}));
    // Stored: the same capture as deltas; the skipped entry's 200 ms are lost.
    auto stored = encode(
        std::vector<seq::Entry>{
            kTempoEntry, {0x00643C90, 100}, {0x000000F4, 200}, {0x00643C90, 100}},
        DeltaMode::Stored);
    EXPECT_THAT(body(stored),
                ElementsAreArray(Bytes{0x64, 0x90, 0x3C, 0x64, 0x64, 0x90, 0x3C, 0x64}));
}

TEST(SmfWriter, ReplacesALongerFileCompletely) {
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("take.mid")).toStdString();
    std::ofstream(path, std::ios::binary) << std::string(5000, 'x');
    std::vector<seq::Entry> entries{kTempoEntry, {0x00643C90, 1500}, {0x00403C80, 2000}};
    ASSERT_TRUE(writeFile(path, entries, DeltaMode::Absolute).ok());
    EXPECT_EQ(readBytes(path), encode(entries, DeltaMode::Absolute).bytes);
}

TEST(SmfWriter, NamesTheFileAndTheReasonWhenItCannotBeWritten) {
    QTemporaryDir dir;
    struct Case {
        std::string path;
        const char *reason;
    };
    const Case cases[] = {
        {dir.filePath(QStringLiteral("missing/take.mid")).toStdString(), "No such file"},
        {dir.path().toStdString(), "Is a directory"},
    };
    for (const auto &c : cases) {
        auto result = writeFile(c.path, std::vector<seq::Entry>{kTempoEntry}, DeltaMode::Absolute);
        EXPECT_THAT(result.error, HasSubstr(c.path));
        EXPECT_THAT(result.error, HasSubstr(c.reason));
    }
    if (std::filesystem::exists("/dev/full")) {
        auto result =
            writeFile("/dev/full", std::vector<seq::Entry>{kTempoEntry}, DeltaMode::Absolute);
        EXPECT_THAT(result.error, HasSubstr("No space left"));
    }
}

// A long capture through the buffer, saved both ways and read back by the independent reader.
TEST(SmfWriter, LongCapturesReadBack) {
    seq::CaptureBuffer buffer;
    std::vector<std::pair<std::uint32_t, std::int32_t>> sent;
    std::int32_t time = 0;
    for (std::int32_t i = 0; i < 40000; ++i) {
        time += (i * 7919) % 3000; // pauses from 0 up to 3 s, some needing 2-byte deltas
        std::uint32_t word = i % 5 == 4 ? 0xFE // skipped
                                        : 0x90u | (i % 16) | (i % 128) << 8 | 64 << 16;
        buffer.capAppend(static_cast<std::int32_t>(word), time);
        sent.emplace_back(word, time);
    }
    QTemporaryDir dir;
    std::string capturePath = dir.filePath(QStringLiteral("capture.mid")).toStdString();
    ASSERT_TRUE(writeCaptureFile(capturePath, buffer).ok());
    buffer.capToDeltas();
    std::string sequencePath = dir.filePath(QStringLiteral("sequence.mid")).toStdString();
    ASSERT_TRUE(writeSequencerFile(sequencePath, buffer).ok());

    auto capture = parseSmf(readBytes(capturePath));
    auto sequence = parseSmf(readBytes(sequencePath));
    for (const auto *file : {&capture, &sequence}) {
        EXPECT_EQ(file->format, 0);
        EXPECT_EQ(file->tracks, 1);
        EXPECT_EQ(file->division, 500);
    }
    ASSERT_EQ(capture.events.size(), 2 + 32000u);
    ASSERT_EQ(sequence.events.size(), capture.events.size());
    // The sequencer file starts at its first message and loses the time of skipped entries.
    std::uint64_t sequenceTick = 0;
    std::int32_t previous = 0;
    std::size_t k = 1;
    for (const auto &[word, at] : sent) {
        std::int32_t delta = k == 1 ? 0 : at - previous;
        previous = at;
        if (word == 0xFE)
            continue;
        sequenceTick += static_cast<std::uint64_t>(delta);
        Bytes message{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                      static_cast<std::uint8_t>(word >> 16)};
        ASSERT_EQ(capture.events[k].message, message);
        ASSERT_EQ(sequence.events[k].message, message);
        ASSERT_EQ(capture.events[k].tick, static_cast<std::uint64_t>(at)) << k;
        ASSERT_EQ(sequence.events[k].tick, sequenceTick) << k;
        ++k;
    }
    EXPECT_EQ(capture.events.back().tick, capture.events[k - 1].tick + 512);
}

} // namespace
} // namespace parlet::smf
