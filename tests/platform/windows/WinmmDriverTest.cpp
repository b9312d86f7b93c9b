// The Windows MIDI path on Wine's own winmm and stream service, over the test MIDI driver: a
// keyboard plays into its input through the driver's pipe, and what the program sends out is read
// from the driver's log with the time it went out.
#include "DriverPeer.h"
#include "platform/RealServices.h"
#include "player/PlayerRig.h"
#include "sequencer/frmSeq.h"

#include <QCheckBox>
#include <QFile>

#include <gmock/gmock.h>

#include <cmath>
#include <mutex>

// After our headers: the system's define some of the same names as macros.
#include <windows.h>

namespace parlet {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::DriverPeer;
constexpr double lateMs = DriverPeer::toleranceMs;

// A format 0 file at 500 ticks a quarter and 500000 us a quarter: a tick a millisecond.
QByteArray midiFile(const std::vector<std::pair<std::uint32_t, Bytes>> &events,
                    std::uint16_t division = 500) {
    QByteArray track;
    for (const auto &[delta, bytes] : events) {
        for (int shift = 21; shift > 0; shift -= 7)
            if (delta >> shift)
                track.append(static_cast<char>(0x80 | (delta >> shift & 0x7F)));
        track.append(static_cast<char>(delta & 0x7F));
        track.append(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
    track.append("\x00\xFF\x2F\x00", 4);
    QByteArray file = QByteArray::fromHex("4D5468640000000600000001");
    file.append(static_cast<char>(division >> 8)).append(static_cast<char>(division));
    file.append("MTrk");
    for (int shift = 24; shift >= 0; shift -= 8)
        file.append(static_cast<char>(track.size() >> shift));
    return file + track;
}

class WinmmDriver : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(midi->midiInGetNumDevs() == 1 && midi->midiOutGetNumDevs() == 1)
            << "the test MIDI driver is not installed in this Wine prefix";
        rig.state.midiInDev = rig.state.midiOutDev = 0;
        seq::buffer().capClear(); // as a program starts
    }
    std::string write(const char *name, const QByteArray &bytes) {
        const std::string path = testing::TempDir() + name;
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
    // The sequencer window, showing the first state.
    std::unique_ptr<frmSeq> sequencer() {
        auto window = std::make_unique<frmSeq>(rig.state);
        window->show();
        window->findChild<QCheckBox *>(QStringLiteral("chkControl"))->setChecked(true);
        return window;
    }
    bool shows(frmSeq &window, const char *label, const char *text, int ms = 5000) {
        return QTest::qWaitFor([&] { return rig.text(window, label) == QString::fromUtf8(text); },
                               ms);
    }
    DriverPeer peer; // first: it names the driver's log before anything is sent
    std::unique_ptr<MidiSystem> midi = makeRealMidiSystem();
    std::unique_ptr<MidiStream> streams = makeRealMidiStream(*midi);
    std::unique_ptr<Clock> clock = makeSteadyClock();
    fakes::FakePlatform fake;
    Platform platform{*midi,          *midi,        *streams,         fake.script,
                      fake.processes, fake.folders, fake.fileDialogs, fake.messages,
                      *clock};
    test::PlayerRig rig{platform};
};

// More events than one buffer holds, a tempo change in the second, Pause and resume, the
// position shown while playing and the end found through the last buffer's done flag.
TEST_F(WinmmDriver, TheSequencerStreamsAFileOfTwoBuffersAtItsTimes) {
    // Groups of 100 notes 60 ticks apart: 5400 notes, the first buffer's 5332 records full; the
    // tempo doubles the ticks' length from group 52 on.
    std::vector<std::pair<std::uint32_t, Bytes>> events;
    std::vector<double> dueMs;
    double due = 0;
    for (int i = 0; i < 5400; ++i) {
        const bool leads = i % 100 == 0;
        if (i == 5200)
            events.push_back({0, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}});
        events.push_back({leads && i ? 60u : 0u, {0x90, std::uint8_t(i % 128), 1}});
        due += leads && i ? (i >= 5200 ? 120 : 60) : 0;
        dueMs.push_back(due);
    }
    const std::string path = write("long.mid", midiFile(events));
    SetEnvironmentVariableA("PARLET_WINMIDI_LOOP", "off"); // the window's input has no part here
    auto window = sequencer();
    EXPECT_TRUE(test::timedRun(peer, [&] {
        window->cmdStop_Click();
        seq::buffer().capClear();
        peer.waitSent(SIZE_MAX, 0ms);
        fake.fileDialogs.answers = {path};
        window->cmdPlay_Click();
        // The first second played, whichever tick of the window's timer shows it.
        if (!QTest::qWaitFor(
                [&] { return rig.text(*window, "lblTime").startsWith(QLatin1String("0:01")); },
                3000))
            return ::testing::AssertionFailure() << "no position shown";
        window->cmdPlay_Click(); // pause
        auto sent = peer.waitSent(SIZE_MAX, 300ms);
        const std::size_t paused = sent.size();
        window->cmdPlay_Click(); // resume
        for (auto more = peer.waitSent(5400 - paused, 10s); const auto &message : more)
            sent.push_back(message);
        if (sent.size() != 5400)
            return ::testing::AssertionFailure() << sent.size() << " events went out";
        if (!shows(*window, "lblState", "Ready"))
            return ::testing::AssertionFailure() << "the end was not found";
        double held = 0; // by the pause
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (sent[i].bytes != Bytes{0x90, std::uint8_t(i % 128), 1})
                return ::testing::AssertionFailure() << "event " << i << " out of order";
            if (i == paused && i > 0)
                held = sent[i].ms - sent[0].ms - dueMs[i];
            const double late = sent[i].ms - sent[0].ms - dueMs[i] - held;
            if (std::abs(late) > lateMs)
                return ::testing::AssertionFailure() << "event " << i << " " << late << " ms late";
        }
        return ::testing::AssertionResult(held >= 250) << "paused for " << held << " ms";
    }));
    EXPECT_THAT(fake.messages.texts, testing::IsEmpty());
}

// A file timed in frames: 25 a second of 40 ticks, a tick a millisecond.
TEST_F(WinmmDriver, TheSequencerPlaysAFileTimedInFramesAtItsTimes) {
    const unsigned atMs[] = {0, 100, 250, 290};
    std::vector<std::pair<std::uint32_t, Bytes>> notes;
    for (unsigned i = 0; i < 4; ++i)
        notes.push_back({i ? atMs[i] - atMs[i - 1] : 0, {0x90, std::uint8_t(60 + i), 1}});
    const std::string path = write("frames.mid", midiFile(notes, 0xE728));
    SetEnvironmentVariableA("PARLET_WINMIDI_LOOP", "off");
    auto window = sequencer();
    EXPECT_TRUE(test::timedRun(peer, [&] {
        window->cmdStop_Click();
        seq::buffer().capClear();
        peer.waitSent(SIZE_MAX, 0ms);
        fake.fileDialogs.answers = {path};
        window->cmdPlay_Click();
        const auto sent = peer.waitSent(4, 3s);
        if (sent.size() != 4)
            return ::testing::AssertionFailure() << sent.size() << " notes";
        for (int i = 1; i < 4; ++i)
            if (std::abs(sent[i].ms - sent[0].ms - atMs[i]) > lateMs)
                return ::testing::AssertionFailure()
                       << "note " << i << " at " << sent[i].ms - sent[0].ms << " ms";
        return ::testing::AssertionSuccess();
    }));
    EXPECT_THAT(fake.messages.texts,
                testing::Each(std::string("Warning: SMPTE time code is an untested feature")));
}

// What the driver answers an open, on demand, reaches the user as the windows' messages: an input
// in use by another program, a device gone since it was listed, an output that refuses.
TEST_F(WinmmDriver, OpenFailuresReachTheUserInTheirWords) {
    const std::pair<const char *, const char *> inputs[] = {
        {"in0=2", "Error in midiInOpen: 2"},
        {"in0=4", "Oops, the MIDI input device is already open"}};
    for (const auto &[fault, message] : inputs) {
        SetEnvironmentVariableA("PARLET_WINMIDI_FAULTS", fault);
        sequencer();
        EXPECT_EQ(fake.messages.texts, std::vector<std::string>{message}) << fault;
        fake.messages.texts.clear();
    }
    QTimer::singleShot(0, &rig.parent, [&] { // a capture window that opened all the same
        if (auto *capture = rig.parent.findChild<QDialog *>(QStringLiteral("frmRecording")))
            capture->reject();
    });
    rig.player.SeqRec_Click();
    EXPECT_EQ(fake.messages.texts,
              std::vector<std::string>{"Oops, the MIDI device is already open"});
    fake.messages.texts.clear();

    SetEnvironmentVariableA("PARLET_WINMIDI_FAULTS", "out0=4");
    auto window = sequencer();
    fake.fileDialogs.answers = {write("one.mid", midiFile({{0, {0x90, 60, 1}}}))};
    window->cmdPlay_Click();
    EXPECT_EQ(fake.messages.texts, std::vector<std::string>{"Error opening MIDI output device"});
}

} // namespace
} // namespace parlet
