#include "sequencer/SeqLoader.h"
#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

#include <sstream>

namespace parlet::sequencer {
namespace {

// A file around `track` (hex) with the header fields given, declaring the track's length or
// `declared`.
std::string smf(const std::string &track, const std::string &fields = "00 00 00 01 00 60",
                int declared = -1) {
    const std::string text =
        "4D 54 68 64 00 00 00 06 " + fields + " 4D 54 72 6B 00 00 00 00 " + track;
    std::string file;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        file.push_back(static_cast<char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    const std::size_t length = declared < 0 ? file.size() - 22 : std::size_t(declared);
    file[20] = static_cast<char>(length >> 8); // every track here is under 64 KiB
    file[21] = static_cast<char>(length);
    return file;
}

struct LoadCase {
    const char *name;
    std::string file;
    std::string message;                 // the last shown, if any
    std::vector<std::uint32_t> stored{}; // event word and time of each entry after the tempo's
    std::int32_t division = 96;          // checked when the file loads, or is SMPTE-timed
};

// clang-format off
const LoadCase kCases[] = {
    // Every length at the edges of its status range, each also by running status, which
    // system common and meta events leave as it was.
    {"events, running status, skipped metas carrying their deltas, end of track",
     smf("00 FF 51 03 07 A1 20 10 90 3C 64 05 3E 64 07 FF 01 02 68 69 03 C0 0A 81 00 0A "
         "00 DF 7F 00 00 00 BF 07 64 00 08 40 00 F1 1A 00 F2 0A 02 00 F3 05 04 FF 51 03 80 00 00 "
         "02 0B 41 FF FF FF 7F E0 7F 40 00 FF 2F 00 00 90 3C 64"), "",
     {0x07A120FF, 0, 0x643C90, 16, 0x643E90, 5, 0x0AC0, 10, 0x0AC0, 128, 0x7FDF, 0, 0x00DF, 0,
      0x6407BF, 0, 0x4008BF, 0, 0x1AF1, 0, 0x020AF2, 0, 0x05F3, 0, 0x800000FF, 4, 0x410BBF, 2,
      0x407FE0, 0x0FFFFFFF}},
    {"a track without its end stops at its declared length",
     smf("00 90 3C 64 00 80 3C 40 00 90 40 40", "00 00 00 01 00 60", 8), "",
     {0x643C90, 0, 0x403C80, 0}},
    {"format 1", smf("00 FF 2F 00", "00 01 00 01 00 60"),
     "Sorry, only type 0 MIDI files are allowed. This file is type 1"},
    {"a tempo event of four bytes", smf("00 90 3C 64 00 FF 51 04 00 07 A1 20"),
     "File song.mid does not appear to be a valid MIDI file", {0x643C90, 0}},
    {"system exclusive", smf("00 90 3C 64 00 F0 03 43 12 F7"),
     "Sorry, a status of F0 is not handled by this sequencer", {0x643C90, 0}},
    {"a data byte before any status", smf("00 3C 64"), "Bug in case: stat =  0"},
    {"SMPTE: tempo events store nothing and pass their deltas on",
     smf("05 FF 51 03 07 A1 20 0A 90 3C 64", "00 00 00 01 E7 28"),
     "Warning: SMPTE time code is an untested feature", {0x643C90, 15}, -6360},
};
// clang-format on

TEST(SeqLoader, StoresWhatItReadsAndSaysWhyItStops) {
    for (const auto &c : kCases) {
        seq::CaptureBuffer buffer;
        fakes::FakeMessageBoxes messages;
        SeqFileInfo info;
        std::istringstream file(c.file);
        loadMidiStream(file, "song.mid", messages, buffer, info);
        const auto entries = buffer.entries();
        std::vector<std::uint32_t> stored;
        for (std::size_t i = 1; i < entries.size(); ++i)
            stored.insert(stored.end(),
                          {std::uint32_t(entries[i].event), std::uint32_t(entries[i].time)});
        EXPECT_EQ(stored, c.stored) << c.name;
        EXPECT_EQ(messages.texts.empty() ? "" : messages.texts.back(), c.message) << c.name;
        if (c.message.empty() || c.division < 0) {
            EXPECT_EQ(std::tie(info.seqDivision, info.seqSmpte, info.seqFromFile),
                      std::make_tuple(c.division, c.division < 0, true))
                << c.name;
        }
    }
}

} // namespace
} // namespace parlet::sequencer
