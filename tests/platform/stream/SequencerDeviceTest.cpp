#include "platform/stream/SequencerDevice.h"
#include "fakes/FakeStream.h"
#include "platform/stream/SmfReader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace parlet {
namespace {

using namespace std::chrono_literals;

// A track's bytes as written in a file: delta times as variable-length quantities.
struct Track {
    std::vector<std::uint8_t> bytes;

    Track &event(std::uint32_t ticks, std::initializer_list<std::uint8_t> data) {
        for (int shift = 28; shift > 0; shift -= 7)
            if (ticks >> shift)
                bytes.push_back(static_cast<std::uint8_t>(0x80 | (ticks >> shift & 0x7F)));
        bytes.push_back(ticks & 0x7F);
        bytes.insert(bytes.end(), data);
        return *this;
    }
    Track &end(std::uint32_t ticks) { return event(ticks, {0xFF, 0x2F, 0}); }
};

// A file of format 1 at 480 ticks a quarter.
std::vector<std::uint8_t> smf(std::initializer_list<Track> tracks) {
    std::vector<std::uint8_t> out{
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, std::uint8_t(tracks.size()), 480 >> 8, 480 & 0xFF};
    for (const auto &track : tracks) {
        const auto size = static_cast<std::uint32_t>(track.bytes.size());
        out.insert(out.end(),
                   {'M', 'T', 'r', 'k', std::uint8_t(size >> 24), std::uint8_t(size >> 16),
                    std::uint8_t(size >> 8), std::uint8_t(size)});
        out.insert(out.end(), track.bytes.begin(), track.bytes.end());
    }
    return out;
}

TEST(SmfReader, RefusesBrokenFiles) {
    const std::pair<const char *, std::vector<std::uint8_t>> cases[] = {
        {"missing end of track", smf({Track().event(0, {0x90, 1, 1})})},
        {"five-byte delta", smf({Track{{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1}}.end(0)})},
        {"real-time byte", smf({Track().event(0, {0xF8}).end(0)})}};
    for (const auto &[name, bytes] : cases)
        EXPECT_FALSE(readSmf(bytes)) << name;
}

// Format 1, 480 ticks a quarter: 120 bpm for two quarters, then 240 bpm, so that at the nominal
// tempo quarters come at 0, 500 and 1000 ms, then 250 ms apart. Notes every quarter in the second
// track, the program change at tick 1920; the file ends at tick 2400 (20 sixteenths, the unit of
// lengths and positions).
TEST(SequencerDevice, PlaysATempoMapFasterWithoutSystemExclusive) {
    Track conductor; // 500000, then 250000 us a quarter
    conductor.event(0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20})
        .event(960, {0xFF, 0x51, 3, 0x03, 0xD0, 0x90})
        .end(0);
    Track notes;
    notes.event(0, {0x90, 60, 100})
        .event(480, {0x80, 60, 0})
        .event(480, {0x90, 62, 100})
        .event(480, {0xF0, 2, 0x7D, 0xF7}) // left out by the device
        .event(0, {62, 0})                 // running status, kept across system exclusive
        .event(480, {0xFF, 0x01, 1, 'x'})
        .event(0, {0xC1, 3})
        .end(480);
    const auto bytes = smf({conductor, notes});
    const auto path = testing::TempDir() + "tempo map.mid"; // kept whole inside its quotes
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    fakes::FakeStreamClock clock;
    fakes::FakeMidiOutputs outputs;
    SequencerDevice mci{outputs, clock.factory(), false};
    auto send = [&](const std::string &command) {
        auto result = mci.mciSendStringA(command, nullptr, 0, 0);
        clock.settle();
        return result;
    };
    auto ask = [&](const std::string &command) {
        std::string reply = "unchanged";
        EXPECT_EQ(mci.mciSendStringA(command, &reply, 255, 0), 0u) << command;
        return reply;
    };

    ASSERT_EQ(send("open \"" + path + "\" type sequencer alias midio"), 0u);
    ASSERT_EQ(send("set midio port  1"), 0u);
    const std::pair<const char *, const char *> replies[] = {{"status midio division type", "PPQN"},
                                                             {"status midio length", "20"},
                                                             {"status midio tempo", "120"},
                                                             {"status midio position", "0"},
                                                             {"STATUS MIDIO MODE", "stopped"}};
    for (auto [query, reply] : replies)
        EXPECT_EQ(ask(query), reply) << query;
    ASSERT_EQ(send("set midio tempo 150"), 0u);
    const auto start = clock.now();
    ASSERT_EQ(send("play midio"), 0u);
    clock.advance(2300ms);
    EXPECT_EQ(ask("status midio mode"), "stopped") << "the end of the file is seen";
    EXPECT_EQ(ask("status midio position"), "20");
    std::vector<std::chrono::milliseconds> sentAt;
    for (const auto &sent : outputs.sent())
        sentAt.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(sent.when - start));
    EXPECT_EQ(sentAt, (std::vector{0ms, 400ms, 800ms, 1000ms, 1200ms})) << "at 125 %";
    EXPECT_EQ(outputs.sent().at(3).bytes, (std::vector<std::uint8_t>{0x90, 62, 0}));
    ASSERT_EQ(send("close midio"), 0u);
    EXPECT_EQ(send("status midio mode"), MCIERR_INVALID_DEVICE_NAME);
}

} // namespace
} // namespace parlet
