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

class StreamServiceTest : public ::testing::Test {
  protected:
    fakes::FakeStreamClock clock;
    fakes::FakeMidiOutputs outputs;
    std::deque<StreamBuffer> buffers; // outlive the streams that may still hold them
    StreamService service{outputs, clock.factory(), false};
    HMIDISTRM handle = 0;
    StreamPlayer::time_point start;

    void SetUp() override { clock.advanceTo(StreamPlayer::time_point(10s)); }

    void open(std::uint32_t division) {
        unsigned device = 0;
        ASSERT_EQ(service.midiStreamOpen(&handle, &device, 1, 0, 0, 0), MMSYSERR_NOERROR);
        MIDIPROPTIMEDIV prop{8, division};
        ASSERT_EQ(service.midiStreamProperty(handle, &prop, MIDIPROP_SET | MIDIPROP_TIMEDIV),
                  MMSYSERR_NOERROR);
    }
    StreamBuffer &buffer() { return buffers.emplace_back(); }
    void queue(StreamBuffer &buffer) {
        ASSERT_EQ(service.midiOutPrepareHeader(handle, buffer.ready(), 28), MMSYSERR_NOERROR);
        ASSERT_EQ(service.midiStreamOut(handle, &buffer.header, 28), MMSYSERR_NOERROR);
    }
    void play() {
        start = clock.now();
        ASSERT_EQ(service.midiStreamRestart(handle), MMSYSERR_NOERROR);
        clock.settle();
    }
    // Send times relative to the start of playback.
    std::vector<std::chrono::nanoseconds> times() {
        std::vector<std::chrono::nanoseconds> result;
        for (const auto &sent : outputs.sent())
            result.push_back(sent.when - start);
        return result;
    }
    std::uint32_t positionMs() {
        MMTIME time;
        EXPECT_EQ(service.midiStreamPosition(handle, &time, sizeof time), MMSYSERR_NOERROR);
        return time.ms;
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

TEST_P(StreamTiming, SendsEachEventAtItsExactTime) {
    const auto &c = GetParam();
    open(c.division);
    auto &buf = buffer();
    for (auto [delta, event] : c.records)
        buf.record(delta, event);
    queue(buf);
    play();
    // Nothing goes out a nanosecond early.
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
        if (c.expected[i] == 0ns)
            continue; // went out at the restart
        clock.advanceTo(start + c.expected[i] - 1ns);
        EXPECT_EQ(outputs.sent().size(), i) << "event " << i;
        clock.advanceTo(start + c.expected[i]);
    }
    EXPECT_EQ(times(), c.expected);
    EXPECT_TRUE(buf.done());
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

TEST_F(StreamServiceTest, FiveThousandRecordsAcrossBuffersInOrder) {
    open(1000); // at 500000 us a quarter: half a millisecond a tick
    std::vector<StreamBuffer *> queued;
    std::uint32_t n = 0;
    for (int size : {2000, 2000, 1000}) {
        auto &buf = buffer();
        for (int i = 0; i < size; ++i, ++n)
            buf.note(2, 0xB0 | (n % 16), static_cast<std::uint8_t>(n % 120),
                     static_cast<std::uint8_t>(n / 120 % 128));
        queue(buf);
        queued.push_back(&buf);
    }
    play();
    clock.advanceTo(start + 2000ms - 1ns);
    EXPECT_FALSE(queued[0]->done()) << "buffer 1 ends at 2000 ms";
    clock.advanceTo(start + 2000ms);
    EXPECT_TRUE(queued[0]->done());
    EXPECT_FALSE(queued[1]->done());
    clock.advance(10s);
    const auto sent = outputs.sent();
    ASSERT_EQ(sent.size(), 5000u);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        ASSERT_EQ(sent[i], (SentMessage{0,
                                        Bytes{std::uint8_t(0xB0 | i % 16), std::uint8_t(i % 120),
                                              std::uint8_t(i / 120)},
                                        start + std::chrono::milliseconds(i + 1)}))
            << i;
    }
    for (auto *buf : queued)
        EXPECT_TRUE(buf->done());
}

TEST_F(StreamServiceTest, PauseSilencesAndResumeContinuesWithoutAJump) {
    open(1000);
    MIDIPROPTIMEDIV tempoProp{8, 1000000}; // one tick a millisecond
    ASSERT_EQ(service.midiStreamProperty(handle, &tempoProp, MIDIPROP_SET | MIDIPROP_TEMPO), 0u);
    auto &buf = buffer();
    buf.note(0, 0x91, 60, 100).note(1000, 0x81, 60, 0).note(1000, 0x91, 62, 100);
    queue(buf);
    EXPECT_EQ(positionMs(), 0u) << "a new stream waits for restart";
    clock.advance(5s);
    EXPECT_TRUE(outputs.sent().empty());
    play();
    clock.advance(500ms);
    EXPECT_EQ(positionMs(), 500u);
    ASSERT_EQ(service.midiStreamPause(handle), MMSYSERR_NOERROR);
    auto pausedAt = clock.now();
    clock.advance(10s);
    EXPECT_EQ(positionMs(), 500u) << "pauses do not count";
    EXPECT_EQ(outputs.sent(), (std::vector<SentMessage>{{0, {0x91, 60, 100}, start},
                                                        {0, {0x81, 60, 0}, pausedAt}}));
    auto resumedAt = clock.now();
    ASSERT_EQ(service.midiStreamRestart(handle), MMSYSERR_NOERROR);
    clock.advance(1500ms);
    EXPECT_EQ(positionMs(), 2000u);
    auto sent = outputs.sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[2], (SentMessage{0, {0x81, 60, 0}, resumedAt + 500ms}));
    EXPECT_EQ(sent[3], (SentMessage{0, {0x91, 62, 100}, resumedAt + 1500ms}));
}

TEST_F(StreamServiceTest, StopSilencesSoundingNotesAndReturnsEveryBuffer) {
    open(480);
    auto &first = buffer();
    // Running status: the second note on carries only its data bytes.
    first.longMessage(0, {0xF0, 0x7D, 1, 2, 3, 0xF7})
        .record(0, MEVT_NOP << 24)
        .note(0, 0x90, 60, 100)
        .record(0, 64 | 90 << 8)
        .note(0, 0x99, 36, 127)
        .note(0, 0x99, 36, 0)
        .note(480, 0x80, 60, 0);
    auto &second = buffer();
    second.note(480, 0x90, 67, 1);
    queue(first);
    queue(second);
    play();
    clock.advance(100ms);
    ASSERT_EQ(service.midiStreamStop(handle), MMSYSERR_NOERROR);
    auto stoppedAt = clock.now();
    EXPECT_TRUE(first.done());
    EXPECT_TRUE(second.done());
    auto sent = outputs.sent();
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
    EXPECT_EQ(sent, expected);
    clock.advance(10s);
    EXPECT_EQ(outputs.sent().size(), expected.size()) << "nothing plays after stop";
    EXPECT_EQ(positionMs(), 0u);

    // The stream plays again from the start with new buffers.
    outputs.clear();
    auto &again = buffer();
    again.note(480, 0x90, 70, 1);
    queue(again);
    play();
    clock.advance(1s);
    EXPECT_EQ(outputs.sent(), (std::vector<SentMessage>{{0, {0x90, 70, 1}, start + 500ms}}));
}

TEST_F(StreamServiceTest, CloseWhilePlayingStopsAndReturnsTheBuffers) {
    open(480);
    auto &buf = buffer();
    buf.note(0, 0x92, 50, 80).note(100000, 0x82, 50, 0);
    queue(buf);
    play();
    ASSERT_EQ(service.midiStreamClose(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(buf.done());
    auto sent = outputs.sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[1].bytes, (Bytes{0x82, 50, 0}));
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
    // A file's SMPTE division widened as a signed number is taken as the field it came from.
    prop.dwTimeDiv = 0xFFFFE728;
    EXPECT_EQ(service.midiStreamProperty(handle, &prop, MIDIPROP_SET | MIDIPROP_TIMEDIV), 0u);
    service.midiStreamProperty(handle, &prop, MIDIPROP_GET | MIDIPROP_TIMEDIV);
    EXPECT_EQ(prop.dwTimeDiv, 0xE728u);

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

TEST(GlobalMemory, BlocksStartZeroed) {
    char *block = GlobalAlloc(GMEM_ZEROINIT, 64000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 64000, 0), 64000);
    EXPECT_EQ(GlobalFree(block), nullptr);
    auto owned = allocateStreamBlock();
    EXPECT_EQ(std::count(owned.get(), owned.get() + streamBlockBytes, 0), 64000);
}

} // namespace
} // namespace parlet
