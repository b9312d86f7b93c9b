// The stream service, the MIDI file reader and the MCI sequencer device on a clock that moves
// only when the test says.
#include "StreamTestData.h"
#include "fakes/CommaLocale.h"
#include "fakes/FakeStream.h"
#include "platform/MidiMessages.h"
#include "platform/linux/stream/SequencerDevice.h"
#include "platform/linux/stream/SmfReader.h"
#include "platform/linux/stream/StreamService.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <filesystem>
#include <fstream>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using fakes::SentMessage;
using std::chrono::nanoseconds;

// The fake ports keep what was sent and drop what is taken back: what they hold is what played.
class StreamTest : public ::testing::Test {
  protected:
    fakes::FakeStreamClock clock;
    fakes::FakeMidiOutputs outputs;
    std::deque<StreamBuffer> buffers; // outlive the streams that may still hold them
    StreamService service{outputs, clock.factory(), false};
    HMIDISTRM handle = 0;
    StreamPlayer::time_point start;

    void open(std::uint32_t division) {
        unsigned device = 0;
        ASSERT_EQ(service.midiStreamOpen(&handle, &device, 1, 0, 0, 0), MMSYSERR_NOERROR);
        property(MIDIPROP_TIMEDIV, division);
    }
    MMRESULT property(std::uint32_t which, std::uint32_t value) {
        MIDIPROPTIMEDIV prop{8, value};
        return service.midiStreamProperty(handle, &prop, MIDIPROP_SET | which);
    }
    StreamBuffer &queue(StreamBuffer &buffer) {
        EXPECT_EQ(service.midiOutPrepareHeader(handle, buffer.ready(), 28), MMSYSERR_NOERROR);
        EXPECT_EQ(service.midiStreamOut(handle, &buffer.header, 28), MMSYSERR_NOERROR);
        return buffer;
    }
    void play() {
        start = clock.now();
        ASSERT_EQ(service.midiStreamRestart(handle), MMSYSERR_NOERROR);
        clock.settle();
    }
    std::uint32_t positionMs() {
        MMTIME time;
        EXPECT_EQ(service.midiStreamPosition(handle, &time, sizeof time), MMSYSERR_NOERROR);
        return time.ms;
    }
    std::vector<nanoseconds> times() {
        std::vector<nanoseconds> result;
        for (const auto &sent : outputs.sent())
            result.push_back(sent.when - start);
        return result;
    }
};

constexpr std::uint32_t on = 0x403C90; // note on, key 60, velocity 64
constexpr auto tempo = [](std::uint32_t micros) { return MEVT_TEMPO << 24 | micros; };

TEST_F(StreamTest, HandsEachEventOverItsLookaheadBeforeItsExactTimeAcrossBuffers) {
    const struct {
        std::uint32_t division;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> records; // delta, event
        std::vector<nanoseconds> expected;
    } cases[] = {
        // 7 ticks at 500000 us / 96 ticks: 36458333.33 ns, rounded down once, not per step.
        {96, {{7, on}, {7, on}, {7, on}}, {36458333ns, 72916666ns, 109375000ns}},
        {480,
         {{0, on}, {480, tempo(250000)}, {480, on}, {0, tempo(1000000)}, {240, on}},
         {0ms, 750ms, 1250ms}},
        // 25 frames a second, as a file's division widened from signed 16 bits
        {0xFFFFE728, {{0, on}, {1000, on}, {500, on}}, {0ms, 1000ms, 1500ms}},
        // 30 drop frame, three hours in: ticks x 1001 x 10^9 no longer fits 64 bits.
        {0xE350, {{25920000, on}}, {10810800ms}},
        {0xE250, {{0, tempo(1000)}, {2400, on}}, {1000ms}}, // SMPTE ignores tempo
    };
    for (const auto &c : cases) {
        outputs.clear();
        open(c.division);
        // The last record in a buffer of its own; a no-op first, so that none is empty.
        auto &buf = buffers.emplace_back().record(0, MEVT_NOP << 24);
        auto &last = buffers.emplace_back();
        for (std::size_t i = 0; i < c.records.size(); ++i)
            (i + 1 < c.records.size() ? buf : last).record(c.records[i].first, c.records[i].second);
        queue(buf);
        queue(last);
        play();
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            if (c.expected[i] > 20ms) { // else handed over at the restart
                clock.advanceTo(start + c.expected[i] - 20ms - 1ns);
                EXPECT_EQ(outputs.sent().size(), i) << "event " << i << " went early";
            }
            clock.advanceTo(start + c.expected[i] - 20ms);
        }
        EXPECT_EQ(times(), c.expected) << std::hex << c.division;
        EXPECT_FALSE(last.done()) << "done when played, not when handed over";
        clock.advance(20ms);
        EXPECT_TRUE(buf.done() && last.done());
    }
}

TEST_F(StreamTest, RefusesBadDataAndPausesTakingBackWhatIsAheadAndResumesInStep) {
    open(1000);
    for (std::uint32_t division : {0u, 0x10000u, 0xE928u /* -23 fps */, 0xE700u /* 0 ticks */})
        EXPECT_NE(property(MIDIPROP_TIMEDIV, division), 0u) << std::hex << division;
    // A long message that claims more bytes than the buffer holds.
    auto &cut = buffers.emplace_back().record(0, MEVT_F_LONG | MEVT_LONGMSG << 24 | 40);
    EXPECT_EQ(service.midiStreamOut(handle, cut.ready(), 28), MIDIERR_UNPREPARED);
    ASSERT_EQ(service.midiOutPrepareHeader(handle, &cut.header, 28), 0u);
    EXPECT_EQ(service.midiStreamOut(handle, &cut.header, 28), MMSYSERR_INVALPARAM);
    ASSERT_EQ(property(MIDIPROP_TEMPO, 1000000), 0u); // one tick a millisecond
    // Notes at the ends of the channel and key ranges.
    queue(buffers.emplace_back()
              .note(0, 0x9F, 127, 100)
              .note(0, 0x90, 0, 100)
              .note(0, 0x91, 60, 100)
              .note(1000, 0x81, 60, 0)
              .note(0, 0x91, 62, 100));
    clock.advance(5s);
    EXPECT_TRUE(outputs.sent().empty()) << "a new stream waits for restart";
    play();
    clock.advance(990ms); // the events at 1000 ms are with the port
    ASSERT_EQ(outputs.sent().size(), 5u);
    ASSERT_EQ(service.midiStreamPause(handle), MMSYSERR_NOERROR);
    const auto pausedAt = clock.now();
    clock.advance(10s);
    EXPECT_EQ(positionMs(), 990u) << "pauses do not count";
    const auto played = outputs.sent();
    EXPECT_EQ(std::vector(played.begin() + 3, played.end()),
              (std::vector<SentMessage>{{{0x80, 0, 0}, pausedAt},
                                        {{0x81, 60, 0}, pausedAt},
                                        {{0x8F, 127, 0}, pausedAt}}));
    start = clock.now() - 990ms;
    ASSERT_EQ(service.midiStreamRestart(handle), MMSYSERR_NOERROR);
    clock.advance(1s);
    EXPECT_EQ(positionMs(), 1990u);
    EXPECT_EQ(outputs.sent().back(), (SentMessage{{0x91, 62, 100}, start + 1000ms}));

    // A tempo change takes back and times again from the last event played.
    queue(buffers.emplace_back().note(1100, 0x90, 1, 1).note(10, 0x90, 2, 1).note(10, 0x90, 3, 1));
    clock.advance(112ms); // the first has played, the others are with the port
    ASSERT_EQ(property(MIDIPROP_TEMPO, 500000), 0u);
    clock.advance(1s);
    const auto at = times();
    EXPECT_EQ(std::vector(at.end() - 3, at.end()),
              (std::vector<nanoseconds>{2100ms, 2105ms, 2110ms}));
}

TEST_F(StreamTest, StopTakesBackSilencesAndReturnsEveryBuffer) {
    open(480);
    // Running status: the second note on carries only its data bytes.
    auto &first = queue(buffers.emplace_back()
                            .longMessage(0, {0xF0, 0x7D, 1, 2, 3, 0xF7})
                            .longMessage(0, {0xF0, 0x7D, 4, 0xF7}) // a whole word: no padding
                            .record(0, MEVT_NOP << 24)
                            .note(0, 0x90, 60, 100)
                            .record(0, 64 | 90 << 8)
                            .note(0, 0x99, 36, 127)
                            .note(0, 0x99, 36, 0)
                            .note(110, 0x80, 60, 0));
    auto &second = queue(buffers.emplace_back().note(480, 0x90, 67, 1));
    play();
    clock.advance(100ms); // the note-off at 114.6 ms is with the port
    ASSERT_EQ(service.midiStreamStop(handle), MMSYSERR_NOERROR);
    const auto stoppedAt = clock.now();
    EXPECT_TRUE(first.done() && second.done());
    std::vector<SentMessage> expected{{{0xF0, 0x7D, 1, 2, 3, 0xF7}, start},
                                      {{0xF0, 0x7D, 4, 0xF7}, start},
                                      {{0x90, 60, 100}, start},
                                      {{0x90, 64, 90}, start},
                                      {{0x99, 36, 127}, start},
                                      {{0x99, 36, 0}, start},
                                      {{0x80, 60, 0}, stoppedAt},
                                      {{0x80, 64, 0}, stoppedAt}};
    for (std::uint8_t status = 0xB0; status <= 0xBF; ++status) // all notes and sounds off
        for (std::uint8_t control : {123, 120})
            expected.push_back({{status, control, 0}, stoppedAt});
    clock.advance(10s);
    EXPECT_EQ(outputs.sent(), expected) << "and nothing after the stop";
    EXPECT_EQ(positionMs(), 0u);

    // The stream plays again from the start with new buffers; so does a closed one.
    outputs.clear();
    auto &again = queue(buffers.emplace_back().note(480, 0x90, 70, 1).note(100000, 0x80, 70, 0));
    play();
    clock.advance(1s);
    EXPECT_EQ(outputs.sent(), (std::vector<SentMessage>{{{0x90, 70, 1}, start + 500ms}}));
    ASSERT_EQ(service.midiStreamClose(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(again.done());
    EXPECT_EQ(outputs.sent().at(1), (SentMessage{{0x80, 70, 0}, clock.now()}));
    EXPECT_EQ(service.midiStreamRestart(handle), MMSYSERR_INVALHANDLE);
}

// A port whose cycle ran ahead of the clock has let out part of what it was handed, here the
// system-exclusive message: the pause takes back the rest, and only the rest is sent again.
TEST_F(StreamTest, WhatThePortLetOutAheadOfAPauseIsNotSentAgain) {
    open(1000);
    ASSERT_EQ(property(MIDIPROP_TEMPO, 1000000), 0u); // one tick a millisecond
    queue(buffers.emplace_back().longMessage(1000, {0xF0, 0x7D, 0xF7}).note(10, 0x90, 60, 1));
    play();
    clock.advance(995ms);
    outputs.ranAhead = 10ms;
    ASSERT_EQ(service.midiStreamPause(handle), MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiStreamRestart(handle), MMSYSERR_NOERROR);
    clock.advance(1s);
    EXPECT_EQ(times(), (std::vector<nanoseconds>{1000ms, 1010ms}));
}

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

// The file lasts until its last track ends, whichever that is; a header may be longer than the
// fields it holds, and chunks of other kinds may stand before the tracks.
TEST(SmfReader, ReadsWhatTheFileFormatAllowsAndRefusesBrokenFiles) {
    const Bytes track{0x83, 0x60, 0x90, 1, 1, 0, 0xFF, 0x2F, 0}; // ends at tick 480
    // One track's file with `bytes` put in after the header and one byte of the header changed.
    auto edited = [&](Bytes bytes, std::size_t at, std::uint8_t value) {
        Bytes file = smf({track});
        file.insert(file.begin() + 14, bytes.begin(), bytes.end());
        return file[at] = value, file;
    };
    const std::tuple<const char *, Bytes, long> cases[] = {
        {"first track ends last", smf({{0x87, 0x40, 0xFF, 0x2F, 0}, track}), 960},
        {"header of eight bytes", edited({0, 0}, 7, 8), 480},
        {"chunk of another kind", edited({'X', 'F', 'I', 'H', 0, 0, 0, 1, 0}, 7, 6), 480},
        {"header of five bytes", edited({}, 7, 5), -1},
        {"format 2", edited({}, 9, 2), -1},
        {"missing end of track", smf({{0, 0x90, 1, 1}}), -1},
        {"five-byte delta", smf({{0x80, 0x80, 0x80, 0x80, 0, 0x90, 1, 1, 0, 0xFF, 0x2F, 0}}), -1},
        {"real-time byte", smf({{0, 0xF8, 0, 0xFF, 0x2F, 0}}), -1}};
    for (const auto &[name, bytes, endTick] : cases) {
        const auto file = readSmf(bytes);
        EXPECT_EQ(file ? long(file->endTick) : -1, endTick) << name;
    }
}

// Format 1, 480 ticks a quarter: 120 bpm for two quarters, then 240 bpm, so that at the nominal
// tempo quarters come at 0, 500 and 1000 ms, then 250 ms apart. Notes every quarter in the second
// track, the program change at tick 1920; the first track ends at tick 960, the second at 2400
// (20 sixteenths, the unit of lengths and positions), 1750 ms.
TEST_F(StreamTest, SequencerDevicePausesSeeksAndChangesSpeedWhilePlayingATempoMap) {
    const test::CommaLocale comma; // tempos are read and written with a point all the same
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
    // A terabyte of nothing after the declared tracks, where the device must not look.
    std::filesystem::resize_file(path, std::uintmax_t{1} << 40);
    SequencerDevice mci{outputs, clock.factory(), false};
    auto send = [&](const std::string &command) {
        const auto result = mci.mciSendStringA(command, nullptr, 0, 0);
        return clock.settle(), result;
    };
    auto ask = [&](std::initializer_list<const char *> queries) {
        std::vector<std::string> replies;
        for (const char *query : queries)
            EXPECT_EQ(mci.mciSendStringA(query, &replies.emplace_back("unchanged"), 255, 0), 0u)
                << query;
        return replies;
    };

    ASSERT_EQ(send("open \"" + path + "\" type sequencer alias midio"), 0u);
    // A port that is not there and one that another program holds tell the user different things.
    // The default output (-1) is asked for like any other; it opens at the first play.
    const std::tuple<MMRESULT, const char *, MMRESULT> refusals[] = {
        {MMSYSERR_BADDEVICEID, "set midio port 3", MCIERR_SEQ_PORT_NONEXISTENT},
        {MMSYSERR_NODRIVER, "set midio port 3", MCIERR_SEQ_PORT_NONEXISTENT},
        {MMSYSERR_ALLOCATED, "set midio port 3", MCIERR_SEQ_PORT_INUSE},
        {MMSYSERR_ALLOCATED, "play midio", MCIERR_SEQ_PORT_INUSE},
        {MMSYSERR_NOERROR, "set midio port -2", MCIERR_SEQ_PORT_NONEXISTENT},
        {MMSYSERR_ALLOCATED, "set midio port -1", MCIERR_SEQ_PORT_INUSE},
        {MMSYSERR_NOERROR, "set midio port  1", 0}};
    for (const auto &[refusal, command, result] : refusals) {
        outputs.refusal = refusal;
        EXPECT_EQ(send(command), result) << command << " refused with " << refusal;
    }
    EXPECT_EQ(ask({"status midio division type", "status midio length", "status midio tempo",
                   "status midio position", "STATUS MIDIO MODE"}),
              (std::vector<std::string>{"PPQN", "20", "120", "0", "stopped"}));
    ASSERT_EQ(send("set midio tempo 97.5"), 0u);
    EXPECT_EQ(ask({"status midio tempo"}), std::vector<std::string>{"97.5"});
    // Paused while note 62 sounds, at tick 1152: the note is silenced and nothing else comes.
    ASSERT_EQ(send("set midio tempo 120"), 0u);
    start = clock.now();
    ASSERT_EQ(send("play midio"), 0u);
    clock.advance(1100ms);
    ASSERT_EQ(send("pause midio"), 0u);
    clock.advance(5s);
    EXPECT_EQ(ask({"status midio mode", "status midio position"}),
              (std::vector<std::string>{"paused", "9"}));
    EXPECT_EQ(times(), (std::vector<nanoseconds>{0ms, 500ms, 1000ms, 1100ms}));
    EXPECT_EQ(outputs.sent().back().bytes, (Bytes{0x80, 62, 0}));
    ASSERT_EQ(send("seek midio to start"), 0u);
    EXPECT_EQ(ask({"status midio mode", "status midio position"}),
              (std::vector<std::string>{"stopped", "0"}));
    // From the start again, twice as fast from 600 ms on: the end of the longer track is seen.
    outputs.clear();
    start = clock.now();
    ASSERT_EQ(send("play midio"), 0u);
    clock.advance(600ms);
    ASSERT_EQ(send("set midio tempo 240"), 0u);
    clock.advance(500ms);
    EXPECT_EQ(ask({"status midio mode"}), std::vector<std::string>{"playing"});
    clock.advance(100ms);
    EXPECT_EQ(ask({"status midio mode", "status midio position"}),
              (std::vector<std::string>{"stopped", "20"}));
    EXPECT_EQ(times(), (std::vector<nanoseconds>{0ms, 500ms, 800ms, 925ms, 1050ms}));
    EXPECT_EQ(outputs.sent().at(3).bytes, (Bytes{0x90, 62, 0}));
    ASSERT_EQ(send("close midio"), 0u);
    EXPECT_EQ(send("status midio mode"), MCIERR_INVALID_DEVICE_NAME);
    std::filesystem::remove(path);
}

// The length of a short message by its status, at the edges of each range: as MIDI input delivers
// it, and as the stream sends it (without the undefined real-time bytes 0xF9 and 0xFD).
TEST(ShortMessages, HaveTheLengthOfTheirStatus) {
    const std::array<unsigned, 3> cases[] = {
        // status, input length, stream length
        {0x7F, 0, 0}, {0x80, 3, 3}, {0xBF, 3, 3}, {0xC0, 2, 2}, {0xDF, 2, 2}, {0xE0, 3, 3},
        {0xEF, 3, 3}, {0xF0, 0, 0}, {0xF1, 2, 2}, {0xF2, 3, 3}, {0xF3, 2, 2}, {0xF5, 0, 0},
        {0xF6, 1, 1}, {0xF7, 0, 0}, {0xF8, 1, 1}, {0xF9, 1, 0}, {0xFD, 1, 0}, {0xFF, 1, 1}};
    for (auto [status, input, stream] : cases)
        EXPECT_EQ(std::pair(shortMessageLength(std::uint8_t(status)),
                            StreamPlayer::shortLength(std::uint8_t(status))),
                  std::pair(input, stream))
            << std::hex << status;
}

} // namespace
} // namespace parlet
