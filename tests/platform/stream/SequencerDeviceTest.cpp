#include "platform/stream/SequencerDevice.h"
#include "StreamTestData.h"
#include "fakes/FakeStream.h"

#include <gtest/gtest.h>

#include <fstream>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using testdata::Track;

// Format 1, 480 ticks a quarter: 120 bpm for two quarters, then 240 bpm, so that at the nominal
// tempo quarters come at 0, 500 and 1000 ms, then 250 ms apart. Notes every quarter in the second
// track, the program change at tick 1920; the file ends at tick 2400 (20 sixteenths, the unit of
// lengths and positions).
TEST(SequencerDevice, PlaysATempoMapFasterWithoutSystemExclusive) {
    Track conductor;
    conductor.tempo(0, 500000).tempo(960, 250000).end(0);
    Track notes;
    notes.event(0, {0x90, 60, 100})
        .event(480, {0x80, 60, 0})
        .event(480, {0x90, 62, 100})
        .event(480, {0xF0, 2, 0x7D, 0xF7}) // left out by the device
        .event(0, {62, 0})                 // running status, kept across system exclusive
        .event(480, {0xFF, 0x01, 1, 'x'})
        .event(0, {0xC1, 3})
        .end(480);
    const auto bytes = testdata::smf(1, 480, {conductor, notes});
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
