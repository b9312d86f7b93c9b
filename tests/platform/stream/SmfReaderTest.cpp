#include "platform/stream/SmfReader.h"
#include "StreamTestData.h"

#include <gtest/gtest.h>

namespace parlet {
namespace {

using testdata::smf;
using testdata::Track;

std::vector<std::tuple<std::uint32_t, int, std::uint32_t>> summary(const SmfFile &file) {
    std::vector<std::tuple<std::uint32_t, int, std::uint32_t>> out;
    for (const auto &e : file.events)
        out.emplace_back(e.tick, e.kind, e.word);
    return out;
}

TEST(SmfReader, ReadsRunningStatusSysexAndSkipsOtherMeta) {
    Track track;
    track
        .event(0, {0xFF, 0x03, 4, 'n', 'a', 'm', 'e'}) // track name: dropped
        .event(10, {0x90, 60, 100})
        .event(5, {62, 100}) // running status
        .event(0, {0xF0, 3, 0x7D, 0x01, 0xF7})
        .event(0, {62, 0}) // running status survives system exclusive
        .event(1, {0xF7, 2, 0xF8, 0xFA})
        .event(0, {0xFF, 0x7F, 2, 1, 2}) // sequencer-specific: dropped
        .event(0, {0xC3, 9})
        .end(20);
    auto file = readSmf(smf(0, 96, {track}));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->division, 96);
    EXPECT_EQ(file->endTick, 36u);
    using K = SmfEvent::Kind;
    EXPECT_EQ(summary(*file), (decltype(summary(*file)){{10, K::Short, 0x643C90},
                                                        {15, K::Short, 0x643E90},
                                                        {15, K::Long, 0},
                                                        {15, K::Short, 0x003E90},
                                                        {16, K::Long, 4},
                                                        {16, K::Short, 0x09C3}}));
    EXPECT_EQ(file->longData, (std::vector<std::uint8_t>{0xF0, 0x7D, 0x01, 0xF7, 0xF8, 0xFA}));
    EXPECT_EQ(file->events[2].length, 4u);
    EXPECT_EQ(file->events[4].length, 2u);
}

TEST(SmfReader, MergesFormatOneTracksKeepingTrackOrderAtEqualTicks) {
    Track conductor;
    conductor.tempo(0, 600000).tempo(96, 300000).end(0);
    Track melody;
    melody.event(0, {0x90, 1, 1}).event(96, {0x80, 1, 0}).end(200);
    auto file = readSmf(smf(1, 96, {conductor, melody}));
    ASSERT_TRUE(file);
    using K = SmfEvent::Kind;
    EXPECT_EQ(summary(*file), (decltype(summary(*file)){{0, K::Tempo, 600000},
                                                        {0, K::Short, 0x010190},
                                                        {96, K::Tempo, 300000},
                                                        {96, K::Short, 0x0180}}));
    EXPECT_EQ(file->endTick, 296u);
    EXPECT_EQ(file->tracks, 2);
}

TEST(SmfReader, RefusesBrokenFiles) {
    Track good;
    good.event(0, {0x90, 1, 1}).end(0);
    auto valid = smf(0, 96, {good});
    ASSERT_TRUE(readSmf(valid));

    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes;
    };
    auto cut = [&](std::size_t n) {
        return std::vector<std::uint8_t>(valid.begin(), valid.end() - n);
    };
    auto patched = [&](std::size_t at, std::uint8_t value, std::size_t count = 1) {
        auto bytes = valid;
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), count, value);
        return bytes;
    };
    std::vector<Case> cases{
        {"empty", {}},
        {"not a header", patched(0, 'X')},
        {"truncated track", cut(1)},
        {"track length past the end", patched(21, 0xFF)},
        {"format 2", patched(9, 2)},
        {"division 0", patched(12, 0, 2)},
        {"no track", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 14)},
        {"missing end of track", smf(0, 96, {Track().event(0, {0x90, 1, 1})})},
        {"data without status", smf(0, 96, {Track().event(0, {0x40, 1}).end(0)})},
        {"data byte with top bit", smf(0, 96, {Track().event(0, {0x90, 0x80, 1}).end(0)})},
        {"five-byte delta", smf(0, 96, {Track{{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1}}.end(0)})},
        {"meta past the end", smf(0, 96, {Track().event(0, {0xFF, 0x01, 9, 'a'})})},
        {"real-time byte", smf(0, 96, {Track().event(0, {0xF8}).end(0)})},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(readSmf(c.bytes)) << c.name;
}

TEST(SmfReader, LoadTellsAMissingFileFromABrokenOne) {
    SmfFile file;
    EXPECT_EQ(loadSmf("/nonexistent/x.mid", file), SmfLoad::Missing);
    auto path = testing::TempDir() + "broken.mid";
    std::FILE *out = std::fopen(path.c_str(), "wb");
    std::fputs("MThd garbage", out);
    std::fclose(out);
    EXPECT_EQ(loadSmf(path, file), SmfLoad::Invalid);
}

} // namespace
} // namespace parlet
