#include "platform/stream/SequencerDevice.h"
#include "fakes/FakeStream.h"
#include "platform/stream/SmfReader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace parlet {
namespace {

using namespace std::chrono_literals;

using Bytes = std::vector<std::uint8_t>;

// A file of format 1 at 480 ticks a quarter, of these tracks (0x83 0x60 is a delta of 480 ticks).
Bytes smf(std::initializer_list<Bytes> tracks) {
    Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, std::uint8_t(tracks.size()), 0x01, 0xE0};
    for (const auto &track : tracks) {
        const auto size = static_cast<std::uint32_t>(track.size());
        out.insert(out.end(),
                   {'M', 'T', 'r', 'k', std::uint8_t(size >> 24), std::uint8_t(size >> 16),
                    std::uint8_t(size >> 8), std::uint8_t(size)});
        out.insert(out.end(), track.begin(), track.end());
    }
    return out;
}

TEST(SmfReader, RefusesBrokenFiles) {
    const std::pair<const char *, Bytes> cases[] = {
        {"missing end of track", smf({{0, 0x90, 1, 1}})},
        {"five-byte delta", smf({{0x80, 0x80, 0x80, 0x80, 0, 0x90, 1, 1, 0, 0xFF, 0x2F, 0}})},
        {"real-time byte", smf({{0, 0xF8, 0, 0xFF, 0x2F, 0}})}};
    for (const auto &[name, bytes] : cases)
        EXPECT_FALSE(readSmf(bytes)) << name;
}

// Format 1, 480 ticks a quarter: 120 bpm for two quarters, then 240 bpm, so that at the nominal
// tempo quarters come at 0, 500 and 1000 ms, then 250 ms apart. Notes every quarter in the second
// track, the program change at tick 1920; the file ends at tick 2400 (20 sixteenths, the unit of
// lengths and positions).
TEST(SequencerDevice, PlaysATempoMapFasterWithoutSystemExclusive) {
    const Bytes conductor{0,    0xFF, 0x51, 3,    0x07, 0xA1, 0x20,       // 500000 us a quarter
                          0x87, 0x40, 0xFF, 0x51, 3,    0x03, 0xD0, 0x90, // at 960: 250000
                          0,    0xFF, 0x2F, 0};
    const Bytes notes{
        0,    0x90, 60,   100,  0x83, 0x60, 0x80, 60,   0, 0x83, 0x60, 0x90, 62,   100,
        0x83, 0x60, 0xF0, 2,    0x7D, 0xF7, // left out by the device
        0,    62,   0,                      // running status, kept across system exclusive
        0x83, 0x60, 0xFF, 0x01, 1,    'x',  0,    0xC1, 3, 0x83, 0x60, 0xFF, 0x2F, 0};
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
    std::vector<std::string> replies;
    for (const char *query : {"status midio division type", "status midio length",
                              "status midio tempo", "status midio position", "STATUS MIDIO MODE"})
        replies.push_back(ask(query));
    EXPECT_EQ(replies, (std::vector<std::string>{"PPQN", "20", "120", "0", "stopped"}));
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
    EXPECT_EQ(outputs.sent().at(3).bytes, (Bytes{0x90, 62, 0}));
    ASSERT_EQ(send("close midio"), 0u);
    EXPECT_EQ(send("status midio mode"), MCIERR_INVALID_DEVICE_NAME);
}

} // namespace
} // namespace parlet
