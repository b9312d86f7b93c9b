// The main window's capture, its MCI playback and the sequencer window on the real MIDI system: a
// keyboard at the other end plays on their input and listens to what they play (see Keyboard.h).
#include "Keyboard.h"
#include "PlayerRig.h"
#include "platform/RealServices.h"
#include "player/frmPlaying.h"
#include "player/seq.h"
#include "sequencer/frmSeq.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gmock/gmock.h>

#include <cmath>

namespace parlet {
namespace {

using namespace std::literals;
using test::Keyboard;
using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::pair<std::uint32_t, Bytes>>; // delta in ticks, message

// A path in a folder named in three scripts, which must reach the writer, the loader and both
// players whole.
std::string inScriptsFolder(const char *name) {
    const std::string folder = testing::TempDir() + "Łódź Москва 東京/";
    EXPECT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    return folder + name;
}

// A format 0 file of `events`: 500 ticks a quarter at 500000 us a quarter, a tick a millisecond.
std::string midiFile(const char *name, const Events &events, std::uint16_t division = 500) {
    QByteArray track;
    for (const auto &[delta, bytes] : events) {
        for (int shift = 21; shift > 0; shift -= 7)
            if (delta >> shift)
                track.append(static_cast<char>(0x80 | (delta >> shift & 0x7F)));
        track.append(static_cast<char>(delta & 0x7F));
        track.append(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
    track.append("\x00\xFF\x2F\x00", 4);
    QByteArray bytes = QByteArray::fromHex("4D546864000000060000000101F44D54726B00000000") + track;
    qToBigEndian<quint16>(division, bytes.data() + 12);
    qToBigEndian<quint32>(static_cast<quint32>(track.size()), bytes.data() + 18);
    const std::string path = inScriptsFolder(name);
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
}

// Each note i of `sent` is the note-on of note i % 128 and comes at its time from the first, those
// from `paused` on `held` later.
::testing::AssertionResult onTime(const std::vector<Keyboard::Sent> &sent,
                                  const std::vector<double> &dueMs, std::size_t paused,
                                  double held) {
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].bytes != Bytes{0x90, std::uint8_t(i % 128), 1})
            return ::testing::AssertionFailure() << "event " << i << " out of order";
        const double late = sent[i].ms - sent[0].ms - dueMs[i] - (i < paused ? 0 : held);
        if (std::abs(late) > Keyboard::toleranceMs)
            return ::testing::AssertionFailure() << "event " << i << " " << late << " ms late";
    }
    return ::testing::AssertionSuccess();
}

class RealMidiWindows : public test::KeyboardTest {
  protected:
    void SetUp() override {
        test::KeyboardTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        // The keyboard's ports, the only others.
        ASSERT_TRUE(midi->midiInGetNumDevs() == 1 && midi->midiOutGetNumDevs() == 1);
        rig.state.midiInDev = rig.state.midiOutDev = 0;
        seq::buffer().capClear(); // as a program starts
    }
    void TearDown() override { EXPECT_THAT(fake.messages.texts, testing::IsEmpty()); }
    std::unique_ptr<frmSeq> sequencer() {
        auto window = std::make_unique<frmSeq>(rig.state);
        window->show();
        window->findChild<QCheckBox *>(QStringLiteral("chkControl"))->setChecked(true);
        return window;
    }
    bool shows(frmSeq &window, const char *state) {
        return QTest::qWaitFor(
            [&] { return rig.text(window, "lblState") == QString::fromUtf8(state); });
    }
    // Plays `path` in the window from the start; what was sent before is dropped.
    void play(frmSeq &window, const std::string &path) {
        window.cmdStop_Click(); // a spoiled run may still play
        seq::buffer().capClear();
        keyboard.waitSent(SIZE_MAX, 50ms);
        fake.fileDialogs.answers = {path};
        window.cmdPlay_Click();
    }

    Keyboard keyboard;
    std::unique_ptr<MidiSystem> midi = makeRealMidiSystem();
    std::unique_ptr<MidiStream> streams = makeRealMidiStream(*midi);
    std::unique_ptr<Mci> mci = makeRealMci(*midi);
    std::unique_ptr<Clock> clock = makeSteadyClock();
    fakes::FakePlatform fake;
    Platform platform{*midi,          *midi,        *streams,         *mci,
                      fake.processes, fake.folders, fake.fileDialogs, fake.messages,
                      *clock};
    test::PlayerRig rig{platform};
};

TEST_F(RealMidiWindows, ACaptureIsSavedAtItsIntervalsAndPlaysBackSoThroughBothPlayers) {
    const std::string path = inScriptsFolder("played.mid");
    auto &buffer = seq::buffer();

    // Real-time messages after the notes are left out.
    const unsigned atMs[] = {0, 250, 375};
    fake.fileDialogs.answers.push_back(path);
    rig.whileShown(&Player::SeqRec_Click, "frmRecording", [&](QDialog &window) {
        keyboard.play({{0, {0x90, 60, 1}},
                       {250, {0x90, 60, 2}},
                       {375, {0x90, 60, 3}},
                       {400, {0xF8}},
                       {425, {0xFE}}});
        EXPECT_TRUE(QTest::qWaitFor([&] { return buffer.capCount() == 4; }));
        QTest::qWait(150); // for the real-time messages after the last note
        rig.click(window, "cmdSave");
    });
    ASSERT_EQ(buffer.capCount(), 4);
    std::int32_t captured[3];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buffer.capEvent(i + 1), 0x90 | 60 << 8 | (i + 1) << 16);
        // The driver's timestamps: exact, so within a millisecond however late the callback ran.
        captured[i] = buffer.capTime(i + 1) - buffer.capTime(1);
        EXPECT_NEAR(captured[i], atMs[i], 1);
    }
    // The capture holds the input: a second open of it answers that it is in use.
    frmSeq(rig.state).show();
    EXPECT_EQ(std::exchange(fake.messages.texts, {}),
              std::vector<std::string>{"Oops, the MIDI input device is already open"});
    rig.player.Form_Unload(); // frees the input for the sequencer window
    auto window = sequencer();

    // The saved file played by the MCI player, and by the sequencer under remote control, whose
    // Play asks for the file first. (At 100 %: Wine's MCI sequencer takes its tempo in other units
    // than Windows'; speeds are tried on the fake platform and the Linux sequencer device.)
    using Notes = decltype(keyboard.waitSent(0, 0ms));
    for (const std::string_view by : {"MCI", "sequencer"}) {
        // A run that a stall of the system spoiled is tried again; a late note of ours is not.
        EXPECT_TRUE(test::timedRun(keyboard, [&] {
            keyboard.waitSent(SIZE_MAX, 50ms); // what a spoiled run left behind
            fake.fileDialogs.answers = {path};
            Notes notes;
            if (by == "sequencer") {
                window->cmdStop_Click();
                buffer.capClear();
                keyboard.play({{0, {0xCF, 127}}});
                notes = shows(*window, "Playing") ? keyboard.waitSent(3, 5s) : Notes{};
                if (!shows(*window, "Ready"))
                    notes.clear();
            } else {
                rig.whileShown(&Player::SeqPlay_Click, "frmPlaying", [&](QDialog &shown) {
                    auto &playing = static_cast<frmPlaying &>(shown);
                    notes = keyboard.waitSent(3, 5s);
                    playing.cmdCancel_Click();
                });
            }
            std::erase_if(notes, [](const auto &note) { return note.bytes[0] != 0x90; });
            if (notes.size() != 3)
                return ::testing::AssertionFailure() << by << ": " << notes.size() << " notes";
            for (int i = 1; i < 3; ++i) {
                const double ms = notes[i].ms - notes[0].ms;
                if (std::abs(ms - captured[i]) > Keyboard::toleranceMs)
                    return ::testing::AssertionFailure() << by << ", note " << i << ": " << ms
                                                         << " ms instead of " << captured[i];
            }
            return ::testing::AssertionSuccess();
        }));
    }
    // Channel 16's Record and Stop step the window (its Play did above); on channel 1 they are
    // only notes of the recording. A remote Stop ends the take at itself: the note-off right
    // behind it is not recorded.
    keyboard.play({{0, {0xCF, 126}}});
    EXPECT_TRUE(shows(*window, "Recording"));
    keyboard.play({{0, {0xC0, 127}}, {0, {0xCF, 125}}, {0, {0x80, 60, 0}}});
    EXPECT_TRUE(shows(*window, "Ready"));
    EXPECT_EQ(buffer.capCount(), 3);
    EXPECT_EQ(std::pair(buffer.capEvent(1), buffer.capEvent(2)), std::pair(0x7FC0, 0x7DCF));
    EXPECT_NE(mci->mciSendStringA("status midio mode", nullptr, 0, 0), 0u)
        << "Finished has stopped and closed the device";
}

// More events than one buffer holds, a tempo change in the second, Pause and resume, the
// position shown while playing and the end found through the last buffer's done flag.
TEST_F(RealMidiWindows, TheSequencerStreamsAFileOfTwoBuffersAtItsTimes) {
    // Groups of 100 notes 60 ticks apart: 5400 notes, the first buffer's 5332 records full; the
    // tempo doubles the ticks' length from group 52 on.
    Events events;
    std::vector<double> dueMs;
    for (int i = 0; i < 5400; ++i) {
        const bool leads = i % 100 == 0 && i > 0;
        if (i == 5200)
            events.push_back({0, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}});
        events.push_back({leads ? 60u : 0u, {0x90, std::uint8_t(i % 128), 1}});
        dueMs.push_back((i ? dueMs.back() : 0) + (leads ? (i >= 5200 ? 120 : 60) : 0));
    }
    const std::string path = midiFile("long.mid", events);
    auto window = sequencer();
    EXPECT_TRUE(test::timedRun(keyboard, [&] {
        play(*window, path);
        // The first second played, whichever tick of the window's timer shows it.
        if (!QTest::qWaitFor(
                [&] { return rig.text(*window, "lblTime").startsWith(QLatin1String("0:01")); },
                3000))
            return ::testing::AssertionFailure() << "no position shown";
        window->cmdPlay_Click(); // pause
        auto sent = keyboard.waitSent(SIZE_MAX, 300ms);
        // Only the notes: the system may silence what sounds at the pause.
        const auto notes = [&] {
            std::erase_if(sent, [](const auto &message) { return message.bytes[0] != 0x90; });
            return sent.size();
        };
        const std::size_t paused = notes();
        window->cmdPlay_Click(); // resume
        if (!shows(*window, "Ready"))
            return ::testing::AssertionFailure() << "the end was not found";
        for (const auto &message : keyboard.waitSent(SIZE_MAX, 50ms))
            sent.push_back(message);
        if (notes() != 5400)
            return ::testing::AssertionFailure() << sent.size() << " notes went out";
        const double held = sent[paused].ms - sent[0].ms - dueMs[paused];
        if (held < 250)
            return ::testing::AssertionFailure() << "paused for " << held << " ms";
        return onTime(sent, dueMs, paused, held);
    }));
}

// A file timed in frames: 25 a second of 40 ticks, a tick a millisecond.
TEST_F(RealMidiWindows, TheSequencerPlaysAFileTimedInFramesAtItsTimes) {
    const std::vector<double> dueMs = {0, 100, 250, 290};
    Events notes;
    for (unsigned i = 0; i < 4; ++i)
        notes.push_back({i ? unsigned(dueMs[i] - dueMs[i - 1]) : 0, {0x90, std::uint8_t(i), 1}});
    const std::string path = midiFile("frames.mid", notes, 0xE728);
    auto window = sequencer();
    EXPECT_TRUE(test::timedRun(keyboard, [&] {
        play(*window, path);
        const auto sent = keyboard.waitSent(4, 3s);
        if (sent.size() != 4)
            return ::testing::AssertionFailure() << sent.size() << " notes";
        return onTime(sent, dueMs, 4, 0);
    }));
    EXPECT_THAT(std::exchange(fake.messages.texts, {}),
                testing::Each(std::string("Warning: SMPTE time code is an untested feature")));
}

#ifdef _WIN32
// Refusals that the driver gives on demand: an input gone since it was listed, an output that will
// not open. In a process of its own: Wine 8's stream service keeps a stream whose open failed in
// its list of streams after freeing it, and a later stream of the same process may crash on it.
TEST_F(RealMidiWindows, AnInputGoneAndAnOutputThatWillNotOpenReachTheUser) {
    const std::string path = midiFile("refused.mid", {{0, {0x90, 60, 1}}});
    qputenv("PARLET_WINMIDI_FAULTS", "in0=2 out0=2");
    fake.fileDialogs.answers = {path};
    {
        const auto refused = sequencer();
        refused->cmdNew_Click();
        refused->cmdPlay_Click();
    }
    qunsetenv("PARLET_WINMIDI_FAULTS");
    EXPECT_EQ(
        std::exchange(fake.messages.texts, {}),
        (std::vector<std::string>{"Error in midiInOpen: 2", "Error opening MIDI output device"}));
}
#endif

} // namespace
} // namespace parlet
