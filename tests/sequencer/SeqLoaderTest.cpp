#include "sequencer/SeqLoader.h"
#include "fakes/FakePlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace parlet::sequencer {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Stored = std::vector<std::pair<std::uint32_t, std::int32_t>>; // event word, delta

Bytes hex(const std::string &text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// A file around `track`; the header fields as hex text, the track length declared as given or
// as the track's size.
Bytes smf(const std::string &track, const std::string &fields = "00 00 00 01 00 60",
          int declared = -1) {
    Bytes body = hex(track);
    auto length = static_cast<std::uint32_t>(declared < 0 ? body.size() : declared);
    Bytes file = hex("4D 54 68 64 00 00 00 06 " + fields + " 4D 54 72 6B");
    for (int shift : {24, 16, 8, 0})
        file.push_back(static_cast<std::uint8_t>(length >> shift));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

struct LoadCase {
    const char *name;
    Bytes file;
    Stored stored; // after the tempo entry of the reset
    std::vector<std::string> messages;
    std::int32_t division = 96;
};

const std::string kInvalid = "File song.mid does not appear to be a valid MIDI file";

const LoadCase kCases[] = {
    {"events, running status, skipped metas carrying their deltas, end of track",
     smf("00 FF 51 03 07 A1 20 10 90 3C 64 05 3E 64 07 FF 01 02 68 69 03 C5 0A 81 00 0A "
         "00 F1 1A 00 F2 0A 02 00 F3 05 04 FF 51 03 80 00 00 FF FF FF 7F E0 7F 40 "
         "00 FF 2F 00 00 90 3C 64"),
     {{0x07A120FF, 0},
      {0x643C90, 16},
      {0x643E90, 5},
      {0x0AC5, 10},
      {0x0AC5, 128},
      {0x1AF1, 0},
      {0x020AF2, 0},
      {0x05F3, 0},
      {0x800000FF, 4},
      {0x407FE0, 0x0FFFFFFF}},
     {}},
    {"a track without its end stops at its declared length",
     smf("00 90 3C 64 00 80 3C 40 00 90 40 40", "00 00 00 01 00 60", 8),
     {{0x643C90, 0}, {0x403C80, 0}},
     {}},
    {"format 1",
     smf("00 FF 2F 00", "00 01 00 01 00 60"),
     {},
     {"Sorry, only type 0 MIDI files are allowed. This file is type 1"}},
    {"header length 7", hex("4D 54 68 64 00 00 00 07 00 00 00 01 00 60 00"), {}, {kInvalid}},
    {"two tracks", smf("00 FF 2F 00", "00 00 00 02 00 60"), {}, {kInvalid}},
    {"no track chunk",
     hex("4D 54 68 64 00 00 00 06 00 00 00 01 00 60 4D 54 72 6C"),
     {},
     {kInvalid}},
    {"a tempo event of four bytes",
     smf("00 90 3C 64 00 FF 51 04 00 07 A1 20"),
     {{0x643C90, 0}},
     {kInvalid}},
    {"system exclusive",
     smf("00 90 3C 64 00 F0 03 43 12 F7"),
     {{0x643C90, 0}},
     {"Sorry, a status of F0 is not handled by this sequencer"}},
    {"timing clock",
     smf("00 F8 00"),
     {},
     {"Sorry, a status of F8 is not handled by this sequencer"}},
    {"a data byte before any status", smf("00 3C 64"), {}, {"Bug in case: stat =  0"}},
    {"SMPTE: tempo events store nothing and pass their deltas on",
     smf("05 FF 51 03 07 A1 20 0A 90 3C 64", "00 00 00 01 E7 28"),
     {{0x643C90, 15}},
     {"Warning: SMPTE time code is an untested feature"},
     -6360},
};

TEST(SeqLoader, StoresWhatItReadsAndSaysWhyItStops) {
    for (const auto &c : kCases) {
        seq::CaptureBuffer buffer;
        fakes::FakeMessageBoxes messages;
        SeqFileInfo info;
        loadMidiBytes(c.file, "song.mid", messages, buffer, info);
        Stored stored;
        for (const auto &entry : buffer.entries())
            stored.emplace_back(static_cast<std::uint32_t>(entry.event), entry.time);
        ASSERT_FALSE(stored.empty()) << c.name;
        EXPECT_EQ(stored.front(), std::make_pair(std::uint32_t(seq::kTempoEntry), 0)) << c.name;
        EXPECT_EQ(Stored(stored.begin() + 1, stored.end()), c.stored) << c.name;
        EXPECT_EQ(messages.texts, c.messages) << c.name;
        EXPECT_TRUE(info.seqFromFile);
        if (c.messages.empty() || c.division < 0) {
            EXPECT_EQ(std::tie(info.seqDivision, info.seqSmpte),
                      std::make_tuple(c.division, c.division < 0));
        }
    }
}

TEST(SeqLoader, AsksForTheFileAndRemembersIt) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("song.mid")).toStdString();
    std::ofstream(path, std::ios::binary).write("MThd", 4);
    fakes::FakeFileDialogs dialogs;
    fakes::FakeMessageBoxes messages;
    seq::CaptureBuffer buffer;
    SeqFileInfo info;
    std::string midDir = "/music", midFile = "/music/last.mid";
    dialogs.answers = {std::nullopt, path};
    loadMidiFile(dialogs, messages, midDir, midFile, buffer, info);
    EXPECT_EQ(buffer.capCount(), 0);
    EXPECT_EQ(midFile, "/music/last.mid");
    EXPECT_FALSE(info.seqFromFile);
    const auto &request = dialogs.shown.at(0).request;
    EXPECT_FALSE(dialogs.shown[0].save);
    EXPECT_EQ(request.filter, "MIDI Files (*.mid)|*.mid");
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_EQ(std::tie(request.initDir, request.fileName), std::tie(midDir, midFile));

    loadMidiFile(dialogs, messages, midDir, midFile, buffer, info);
    EXPECT_EQ(std::tie(midDir, midFile), std::make_tuple(dir.path().toStdString(), path));
    EXPECT_EQ(buffer.capCount(), 1);
    EXPECT_THAT(messages.texts, ::testing::ElementsAre("File " + path +
                                                       " does not appear to be a valid MIDI file"));
}

} // namespace
} // namespace parlet::sequencer
