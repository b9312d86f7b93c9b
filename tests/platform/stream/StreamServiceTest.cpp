#include "platform/stream/StreamService.h"
#include "StreamTestData.h"
#include "fakes/FakeStream.h"

#include <gtest/gtest.h>

#include <deque>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using fakes::SentMessage;
using testdata::StreamBuffer;
using Bytes = std::vector<std::uint8_t>;

// The fake ports keep what was sent and drop what is taken back: what they hold is what played.
class StreamServiceTest : public ::testing::Test {
  protected:
    fakes::FakeStreamClock clock;
    fakes::FakeMidiOutputs outputs;
    std::deque<StreamBuffer> buffers; // outlive the streams that may still hold them
    StreamService service{outputs, clock.factory(), false};
    HMIDISTRM handle = 0;
    StreamPlayer::time_point start;

    void SetUp() override { clock.advanceTo(StreamPlayer::time_point(10s)); }

    void open(std::uint32_t division, std::chrono::nanoseconds lookahead = 20ms) {
        outputs.lookahead = lookahead;
        unsigned device = 0;
        ASSERT_EQ(service.midiStreamOpen(&handle, &device, 1, 0, 0, 0), MMSYSERR_NOERROR);
        MIDIPROPTIMEDIV prop{8, division};
        ASSERT_EQ(service.midiStreamProperty(handle, &prop, MIDIPROP_SET | MIDIPROP_TIMEDIV), 0u);
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
    void setTempo(std::uint32_t micros) {
        MIDIPROPTIMEDIV prop{8, micros};
        ASSERT_EQ(service.midiStreamProperty(handle, &prop, MIDIPROP_SET | MIDIPROP_TEMPO), 0u);
    }
};

struct TimingCase {
    const char *name;
    std::uint32_t division;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> records; // delta, event
    std::vector<std::chrono::nanoseconds> expected;
};

constexpr std::uint32_t on = 0x403C90; // note on, key 60, velocity 64
constexpr std::uint32_t tempo(std::uint32_t micros) {
    return MEVT_TEMPO << 24 | micros;
}

class StreamTiming : public StreamServiceTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(StreamTiming, HandsEachEventOverItsLookaheadBeforeItsExactTime) {
    const auto &c = GetParam();
    for (auto lookahead : {0ns, std::chrono::nanoseconds(20ms)}) {
        outputs.clear();
        open(c.division, lookahead);
        auto &buf = buffers.emplace_back();
        for (auto [delta, event] : c.records)
            buf.record(delta, event);
        queue(buf);
        play();
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            if (c.expected[i] > lookahead) { // else handed over at the restart
                clock.advanceTo(start + c.expected[i] - lookahead - 1ns);
                EXPECT_EQ(outputs.sent().size(), i) << "event " << i << " went early";
            }
            clock.advanceTo(start + c.expected[i] - lookahead);
        }
        std::vector<std::chrono::nanoseconds> times;
        for (const auto &sent : outputs.sent())
            times.push_back(sent.when - start);
        EXPECT_EQ(times, c.expected) << "lookahead " << lookahead.count();
        clock.advance(lookahead);
        EXPECT_TRUE(buf.done());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Divisions, StreamTiming,
    ::testing::Values(
        TimingCase{"Ppqn", 480, {{0, on}, {480, on}, {240, on}}, {0ms, 500ms, 750ms}},
        // 7 ticks at 500000 us / 96 ticks: 36458333.33 ns, rounded down once, not per step.
        TimingCase{"PpqnFractions",
                   96,
                   {{7, on}, {7, on}, {7, on}},
                   {36458333ns, 72916666ns, 109375000ns}},
        TimingCase{"TempoInTheMiddle",
                   480,
                   {{0, on}, {480, tempo(250000)}, {480, on}, {0, tempo(1000000)}, {240, on}},
                   {0ms, 750ms, 1250ms}},
        TimingCase{"Smpte25", 0xE728, {{0, on}, {1000, on}, {500, on}}, {0ms, 1000ms, 1500ms}},
        TimingCase{"Smpte30Drop", 0xE350, {{2400, on}, {2400, on}}, {1001ms, 2002ms}},
        // Three hours in: ticks x 1001 x 10^9 no longer fits 64 bits.
        TimingCase{"Smpte30DropLongPiece", 0xE350, {{25920000, on}}, {10810800ms}},
        TimingCase{"SmpteIgnoresTempo", 0xE250, {{0, tempo(1000)}, {2400, on}}, {1000ms}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(StreamServiceTest, BuffersPlayInOrderAndAreDoneWhenTheirLastEventIsDue) {
    open(1000); // at 500000 us a quarter: half a millisecond a tick
    std::vector<StreamBuffer *> queued;
    std::uint32_t n = 0;
    for (int size : {2000, 2000, 1000}) {
        auto &buf = buffers.emplace_back();
        for (int i = 0; i < size; ++i, ++n)
            buf.note(2, 0xB0 | (n % 16), static_cast<std::uint8_t>(n % 120),
                     static_cast<std::uint8_t>(n / 120 % 128));
        queued.push_back(&queue(buf));
    }
    play();
    clock.advanceTo(start + 2000ms - 1ns);
    EXPECT_FALSE(queued[0]->done()) << "its last event, handed over, is due at 2000 ms";
    clock.advanceTo(start + 2000ms);
    EXPECT_TRUE(queued[0]->done());
    EXPECT_FALSE(queued[1]->done());
    clock.advance(10s);
    const auto sent = outputs.sent();
    ASSERT_EQ(sent.size(), 5000u);
    for (std::uint32_t i = 0; i < 5000; ++i)
        ASSERT_EQ(sent[i], (SentMessage{0,
                                        Bytes{std::uint8_t(0xB0 | i % 16), std::uint8_t(i % 120),
                                              std::uint8_t(i / 120)},
                                        start + std::chrono::milliseconds(i + 1)}))
            << i;
    EXPECT_TRUE(queued[1]->done() && queued[2]->done());
}

TEST_F(StreamServiceTest, PauseTakesBackWhatIsAheadSilencesAndResumesWithoutAJump) {
    open(1000);
    setTempo(1000000); // one tick a millisecond
    auto &buf = buffers.emplace_back();
    buf.note(0, 0x91, 60, 100).note(1000, 0x81, 60, 0).note(0, 0x91, 62, 100);
    queue(buf);
    EXPECT_EQ(positionMs(), 0u) << "a new stream waits for restart";
    clock.advance(5s);
    EXPECT_TRUE(outputs.sent().empty());
    play();
    clock.advance(990ms); // the events at 1000 ms are with the port
    ASSERT_EQ(outputs.sent().size(), 3u);
    ASSERT_EQ(service.midiStreamPause(handle), MMSYSERR_NOERROR);
    const auto pausedAt = clock.now();
    clock.advance(10s);
    EXPECT_EQ(positionMs(), 990u) << "pauses do not count";
    EXPECT_EQ(outputs.sent(), (std::vector<SentMessage>{{0, {0x91, 60, 100}, start},
                                                        {0, {0x81, 60, 0}, pausedAt}}));
    const auto resumedAt = clock.now();
    ASSERT_EQ(service.midiStreamRestart(handle), MMSYSERR_NOERROR);
    clock.advance(1s);
    EXPECT_EQ(positionMs(), 1990u);
    const auto sent = outputs.sent();
    ASSERT_EQ(sent.size(), 4u) << "the note-off that was taken back is not sent again";
    EXPECT_EQ(sent[3], (SentMessage{0, {0x91, 62, 100}, resumedAt + 10ms}));
}

TEST_F(StreamServiceTest, ATempoChangeWhilePlayingRetimesWhatWasHandedOver) {
    open(1000);
    setTempo(1000000);
    auto &buf = buffers.emplace_back();
    buf.note(100, 0x90, 1, 1).note(10, 0x90, 2, 1).note(10, 0x90, 3, 1);
    queue(buf);
    play();
    clock.advance(102ms); // the first has played, the others are with the port
    setTempo(500000);     // from the last played on, half a millisecond a tick
    clock.advance(1s);
    std::vector<std::chrono::nanoseconds> times;
    for (const auto &sent : outputs.sent())
        times.push_back(sent.when - start);
    EXPECT_EQ(times, (std::vector<std::chrono::nanoseconds>{100ms, 105ms, 110ms}));
}

TEST_F(StreamServiceTest, StopTakesBackSilencesAndReturnsEveryBuffer) {
    open(480);
    auto &first = buffers.emplace_back();
    // Running status: the second note on carries only its data bytes.
    first.longMessage(0, {0xF0, 0x7D, 1, 2, 3, 0xF7})
        .record(0, MEVT_NOP << 24)
        .note(0, 0x90, 60, 100)
        .record(0, 64 | 90 << 8)
        .note(0, 0x99, 36, 127)
        .note(0, 0x99, 36, 0)
        .note(110, 0x80, 60, 0);
    auto &second = buffers.emplace_back();
    second.note(480, 0x90, 67, 1);
    queue(first);
    queue(second);
    play();
    clock.advance(100ms); // the note-off at 114.6 ms is with the port
    ASSERT_EQ(service.midiStreamStop(handle), MMSYSERR_NOERROR);
    const auto stoppedAt = clock.now();
    EXPECT_TRUE(first.done() && second.done());
    std::vector<SentMessage> expected{{0, {0xF0, 0x7D, 1, 2, 3, 0xF7}, start},
                                      {0, {0x90, 60, 100}, start},
                                      {0, {0x90, 64, 90}, start},
                                      {0, {0x99, 36, 127}, start},
                                      {0, {0x99, 36, 0}, start},
                                      {0, {0x80, 60, 0}, stoppedAt},
                                      {0, {0x80, 64, 0}, stoppedAt}};
    for (std::uint8_t status = 0xB0; status <= 0xBF; ++status) // all notes and sounds off
        for (std::uint8_t control : {123, 120})
            expected.push_back({0, {status, control, 0}, stoppedAt});
    EXPECT_EQ(outputs.sent(), expected);
    clock.advance(10s);
    EXPECT_EQ(outputs.sent().size(), expected.size()) << "nothing plays after stop";
    EXPECT_EQ(positionMs(), 0u);

    // The stream plays again from the start with new buffers; so does a closed one.
    outputs.clear();
    auto &again = buffers.emplace_back();
    queue(again.note(480, 0x90, 70, 1).note(100000, 0x80, 70, 0));
    play();
    clock.advance(1s);
    EXPECT_EQ(outputs.sent(), (std::vector<SentMessage>{{0, {0x90, 70, 1}, start + 500ms}}));
    ASSERT_EQ(service.midiStreamClose(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(again.done());
    EXPECT_EQ(outputs.sent()[1].bytes, (Bytes{0x80, 70, 0}));
    EXPECT_EQ(service.midiStreamRestart(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(StreamServiceTest, RefusesWhatItCannotPlay) {
    open(480);
    for (std::uint32_t division : {0u, 0x10000u, 0xE928u /* -23 fps */, 0xE700u /* 0 ticks */}) {
        MIDIPROPTIMEDIV prop{8, division};
        EXPECT_NE(service.midiStreamProperty(handle, &prop, MIDIPROP_SET | MIDIPROP_TIMEDIV), 0u)
            << std::hex << division;
    }
    MIDIPROPTIMEDIV prop{8, 0};
    EXPECT_EQ(service.midiStreamProperty(handle, &prop, MIDIPROP_GET | MIDIPROP_TIMEDIV), 0u);
    EXPECT_EQ(prop.dwTimeDiv, 480u) << "a refused division leaves the old one";

    StreamBuffer unprepared;
    unprepared.note(0, 0x90, 1, 1).ready();
    EXPECT_EQ(service.midiStreamOut(handle, &unprepared.header, 28), MIDIERR_UNPREPARED);
    StreamBuffer cut; // a long message that claims more bytes than the buffer holds
    cut.record(0, MEVT_F_LONG | MEVT_LONGMSG << 24 | 40);
    ASSERT_EQ(service.midiOutPrepareHeader(handle, cut.ready(), 28), 0u);
    EXPECT_EQ(service.midiStreamOut(handle, &cut.header, 28), MMSYSERR_INVALPARAM);

    HMIDISTRM other = 0;
    unsigned missing = 7, mapper = static_cast<unsigned>(-1);
    EXPECT_EQ(service.midiStreamOpen(&other, &missing, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(service.midiStreamOpen(&other, &mapper, 2, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(service.midiStreamOpen(&other, &mapper, 1, 0, 0, 0), 0u);
    EXPECT_NE(other, handle);
    EXPECT_EQ(outputs.opened, (std::vector<int>{0, 0}));
    MMTIME time;
    EXPECT_EQ(service.midiStreamPosition(0, &time, sizeof time), MMSYSERR_INVALHANDLE);
    for (auto call : {&StreamService::midiStreamPause, &StreamService::midiStreamStop,
                      &StreamService::midiStreamClose})
        EXPECT_EQ((service.*call)(99), MMSYSERR_INVALHANDLE);
}

} // namespace
} // namespace parlet
