#include "platform/stream/SequencerDevice.h"
#include "StreamTestData.h"
#include "fakes/FakeStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using testdata::smf;
using testdata::Track;
using Bytes = std::vector<std::uint8_t>;

std::string writeFile(const std::string &name, const std::vector<std::uint8_t> &bytes) {
    auto path = testing::TempDir() + name;
    std::FILE *out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return path;
}

// Format 1, 480 ticks a quarter: 120 bpm for two quarters, then 240 bpm. Notes every quarter
// in the second track; the file ends at tick 2400 (20 sixteenths).
std::vector<std::uint8_t> tempoMapFile() {
    Track conductor;
    conductor.tempo(0, 500000).tempo(960, 250000).end(0);
    Track notes;
    notes.event(0, {0x90, 60, 100})
        .event(480, {0x80, 60, 0})
        .event(480, {0x90, 62, 100})
        .event(480, {62, 0}) // running status
        .event(0, {0xF0, 2, 0x7D, 0xF7})
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

TEST_F(SequencerDeviceTest, AnswersStatusQueriesInTicksOrFrames) {
    Track track;
    track.event(0, {0x90, 1, 1}).end(25 * 40 * 62 + 40 * 3); // 1 min 2 s 3 frames
    const auto smpte = writeFile("smpte.mid", smf(0, 0xE728, {track}));
    ASSERT_EQ(send("open \"" + tempoMap + "\" type sequencer alias midio"), 0u);
    ASSERT_EQ(send("set midio port  1"), 0u);
    ASSERT_EQ(send("open " + smpte + " alias s"), 0u);
    struct {
        const char *query, *reply;
    } const cases[] = {
        {"status midio division type", "PPQN"}, {"status midio length", "20"},
        {"status midio tempo", "120"},          {"status midio position", "0"},
        {"STATUS MIDIO MODE", "stopped"},       {"status s division type", "SMPTE 25"},
        {"status s length", "00:01:02:03"},     {"status s tempo", "25"},
        {"status s position", "00:00:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ask(c.query), c.reply) << c.query;
    std::string shortReply;
    EXPECT_EQ(mci.mciSendStringA("status midio mode", &shortReply, 4, 0), 0u);
    EXPECT_EQ(shortReply, "sto");
    EXPECT_EQ(send("close midio"), 0u);
    EXPECT_EQ(send("status midio mode"), MCIERR_INVALID_DEVICE_NAME);
    ASSERT_EQ(send("play s"), 0u);
    clock.advance(1500ms);
    EXPECT_EQ(ask("status s position"), "00:00:01:12");
}

TEST_F(SequencerDeviceTest, PlaysATempoMapAtNominalAndFasterSpeed) {
    // Quarters at 0, 500 and 1000 ms, then 250 ms each; the program change comes at tick 1920.
    const std::vector<std::chrono::milliseconds> nominal{0ms,    500ms,  1000ms,
                                                         1250ms, 1250ms, 1500ms};
    for (int percent : {100, 125}) {
        outputs.clear();
        ASSERT_EQ(send("open \"" + tempoMap + "\" type sequencer alias midio"), 0u);
        ASSERT_EQ(send("set midio port 0"), 0u);
        ASSERT_EQ(send("set midio tempo " + std::to_string(120 * percent / 100)), 0u);
        auto start = clock.now();
        ASSERT_EQ(send("play midio"), 0u);
        clock.advance(1300ms);
        EXPECT_EQ(ask("status midio mode"), "playing");
        clock.advance(1s);
        EXPECT_EQ(ask("status midio mode"), "stopped") << "the end of the file is seen";
        EXPECT_EQ(ask("status midio position"), "20");
        std::vector<std::chrono::milliseconds> expected;
        for (auto t : nominal)
            expected.push_back(t * 100 / percent);
        EXPECT_EQ(sendTimes(start), expected) << percent << " %";
        auto sent = outputs.sent();
        ASSERT_EQ(sent.size(), 6u);
        EXPECT_EQ(sent[3].bytes, (Bytes{0x90, 62, 0}));
        EXPECT_EQ(sent[4].bytes, (Bytes{0xF0, 0x7D, 0xF7}));
        EXPECT_EQ(sent[5].bytes, (Bytes{0xC1, 3}));
        ASSERT_EQ(send("close midio"), 0u);
    }
}

TEST_F(SequencerDeviceTest, SetTempoChangesSpeedAtOnce) {
    ASSERT_EQ(send("open \"" + tempoMap + "\" alias midio"), 0u);
    auto start = clock.now();
    ASSERT_EQ(send("play midio"), 0u);
    clock.advance(600ms);
    ASSERT_EQ(send("set midio tempo  150"), 0u);
    EXPECT_EQ(ask("status midio tempo"), "150");
    clock.advance(2s);
    // The quarter due at 1000 ms has 400 ms left at 600 ms; at 125 % it comes 320 ms later.
    auto times = sendTimes(start);
    ASSERT_GE(times.size(), 3u);
    EXPECT_EQ(times[2], 920ms);
}

TEST_F(SequencerDeviceTest, PausesResumesStopsAndRewinds) {
    ASSERT_EQ(send("open \"" + tempoMap + "\" type sequencer alias a"), 0u);
    ASSERT_EQ(send("play a"), 0u);
    clock.advance(250ms);
    EXPECT_EQ(ask("status a position"), "2");
    ASSERT_EQ(send("pause a"), 0u);
    EXPECT_EQ(ask("status a mode"), "paused");
    auto sent = outputs.sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].bytes, (Bytes{0x80, 60, 0})) << "the sounding note is silenced";
    clock.advance(5s);
    EXPECT_EQ(ask("status a position"), "2");
    ASSERT_EQ(send("play a"), 0u);
    EXPECT_EQ(ask("status a mode"), "playing");
    clock.advance(250ms);
    EXPECT_EQ(ask("status a position"), "4");
    ASSERT_EQ(send("stop a"), 0u);
    EXPECT_EQ(ask("status a mode"), "stopped");
    EXPECT_EQ(ask("status a position"), "4");
    ASSERT_EQ(send("seek a to start"), 0u);
    EXPECT_EQ(ask("status a position"), "0");
    outputs.clear();
    auto start = clock.now();
    ASSERT_EQ(send("play a from 0"), 0u);
    clock.advance(10ms);
    EXPECT_TRUE(std::ranges::count(outputs.sent(), fakes::SentMessage{0, {0x90, 60, 100}, start}));
}

TEST_F(SequencerDeviceTest, ReportsEveryFailureWithAText) {
    auto notMidi = writeFile("notmidi.mid", {'R', 'I', 'F', 'F', 0, 0, 0, 0});
    ASSERT_EQ(send("open \"" + tempoMap + "\" type sequencer alias midio"), 0u);
    outputs.busyDevices.insert(1);
    struct {
        std::string command;
        MMRESULT error;
    } const cases[] = {
        {"open \"" + tempoMap + "\" type sequencer alias MIDIO", MCIERR_DUPLICATE_ALIAS},
        {"open \"/no/such/file.mid\" type sequencer alias b", MCIERR_FILE_NOT_FOUND},
        {"open \"" + notMidi + "\" type sequencer alias b", MCIERR_INVALID_FILE},
        {"open \"" + tempoMap + "\" type waveaudio alias b", MCIERR_CANNOT_LOAD_DRIVER},
        {"open \"" + tempoMap + "\" type sequencer alias", MCIERR_MISSING_PARAMETER},
        {"play other", MCIERR_INVALID_DEVICE_NAME},
        {"play", MCIERR_MISSING_DEVICE_NAME},
        {"set midio port 2", MCIERR_SEQ_PORT_NONEXISTENT},
        {"set midio port 1", MCIERR_SEQ_PORT_INUSE},
        {"set midio port one", MCIERR_BAD_INTEGER},
        {"set midio tempo 0", MCIERR_OUTOFRANGE},
        {"status midio colour", MCIERR_UNRECOGNIZED_KEYWORD},
        {"seek midio to end", MCIERR_UNRECOGNIZED_KEYWORD},
        {"play midio from 7", MCIERR_OUTOFRANGE},
        {"rewind midio", MCIERR_UNRECOGNIZED_COMMAND},
        {"", MCIERR_UNRECOGNIZED_COMMAND},
    };
    for (const auto &c : cases) {
        std::string reply = "unchanged";
        EXPECT_EQ(mci.mciSendStringA(c.command, &reply, 255, 0), c.error) << c.command;
        EXPECT_EQ(reply, "") << c.command;
        std::string text;
        ASSERT_TRUE(mci.mciGetErrorStringA(c.error, text, 80)) << c.error;
        EXPECT_GT(text.size(), 20u);
        EXPECT_LT(text.size(), 80u);
    }
    EXPECT_EQ(ask("status midio mode"), "stopped") << "failed commands leave the device as it was";
    std::string text;
    EXPECT_FALSE(mci.mciGetErrorStringA(12345, text, 80));
    ASSERT_TRUE(mci.mciGetErrorStringA(MCIERR_INVALID_FILE, text, 10));
    EXPECT_EQ(text, "The file ");
}

} // namespace
} // namespace parlet
