#include "platform/stream/SequencerDevice.h"
#include "StreamTestData.h"
#include "fakes/FakeStream.h"

#include <gtest/gtest.h>

#include <fstream>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using testdata::smf;
using testdata::Track;
using Bytes = std::vector<std::uint8_t>;

std::string writeFile(const std::string &name, const Bytes &bytes) {
    const auto path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// Format 1, 480 ticks a quarter: 120 bpm for two quarters, then 240 bpm. Notes every quarter
// in the second track; the file ends at tick 2400 (20 sixteenths).
Bytes tempoMapFile() {
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
    return smf(1, 480, {conductor, notes});
}

class SequencerDeviceTest : public ::testing::Test {
  protected:
    fakes::FakeStreamClock clock;
    fakes::FakeMidiOutputs outputs;
    SequencerDevice mci{outputs, clock.factory(), false};
    // A path with a space: commands must keep it whole inside its quotes.
    std::string tempoMap = writeFile("tempo map.mid", tempoMapFile());

    MMRESULT send(const std::string &command) {
        auto result = mci.mciSendStringA(command, nullptr, 0, 0);
        clock.settle();
        return result;
    }
    std::string ask(const std::string &command) {
        std::string reply = "unchanged";
        EXPECT_EQ(mci.mciSendStringA(command, &reply, 255, 0), 0u) << command;
        return reply;
    }
    std::vector<std::chrono::milliseconds> sendTimes(StreamPlayer::time_point start) {
        std::vector<std::chrono::milliseconds> times;
        for (const auto &sent : outputs.sent())
            times.push_back(
                std::chrono::duration_cast<std::chrono::milliseconds>(sent.when - start));
        return times;
    }
};

// At the nominal tempo quarters come at 0, 500 and 1000 ms, then 250 ms apart; the program
// change comes at tick 1920. Lengths and positions are in sixteenth notes.
TEST_F(SequencerDeviceTest, PlaysATempoMapFasterWithoutSystemExclusive) {
    ASSERT_EQ(send("open \"" + tempoMap + "\" type sequencer alias midio"), 0u);
    ASSERT_EQ(send("set midio port  1"), 0u);
    const std::pair<const char *, const char *> replies[] = {{"status midio division type", "PPQN"},
                                                             {"status midio length", "20"},
                                                             {"status midio tempo", "120"},
                                                             {"status midio position", "0"},
                                                             {"STATUS MIDIO MODE", "stopped"}};
    for (auto [query, reply] : replies)
        EXPECT_EQ(ask(query), reply) << query;
    ASSERT_EQ(send("set midio tempo 150"), 0u);
    auto start = clock.now();
    ASSERT_EQ(send("play midio"), 0u);
    clock.advance(2300ms);
    EXPECT_EQ(ask("status midio mode"), "stopped") << "the end of the file is seen";
    EXPECT_EQ(ask("status midio position"), "20");
    EXPECT_EQ(sendTimes(start), (std::vector{0ms, 400ms, 800ms, 1000ms, 1200ms})) << "at 125 %";
    EXPECT_EQ(outputs.sent().at(3).bytes, (Bytes{0x90, 62, 0}));
    ASSERT_EQ(send("close midio"), 0u);
    EXPECT_EQ(send("status midio mode"), MCIERR_INVALID_DEVICE_NAME);
}

} // namespace
} // namespace parlet
