// The main window's capture, its MCI playback and the sequencer window on the real MIDI system: a
// keyboard at the other end plays on their input and listens to what they play (see Keyboard.h).
#include "Keyboard.h"
#include "PlayerRig.h"
#include "platform/RealServices.h"
#include "player/frmPlaying.h"
#include "player/seq.h"
#include "sequencer/frmSeq.h"

#include <QCheckBox>

#include <cmath>

namespace parlet {
namespace {

using namespace std::literals;
using test::Keyboard;

class RealMidiWindows : public test::KeyboardTest {};

TEST_F(RealMidiWindows, ACaptureIsSavedAtItsIntervalsAndPlaysBackSoThroughBothPlayers) {
    Keyboard keyboard;
    ASSERT_TRUE(keyboard.ok());
    auto midi = makeRealMidiSystem();
    auto streams = makeRealMidiStream(*midi);
    auto mci = makeRealMci(*midi);
    auto clock = makeSteadyClock();
    fakes::FakePlatform fake;
    Platform platform{*midi,          *midi,        *streams,         *mci,
                      fake.processes, fake.folders, fake.fileDialogs, fake.messages,
                      *clock};
    test::PlayerRig rig(platform);
    rig.state.midiInDev = rig.state.midiOutDev = 0; // the keyboard's ports, the only others
    ASSERT_TRUE(midi->midiInGetNumDevs() == 1 && midi->midiOutGetNumDevs() == 1);
    const std::string path = testing::TempDir() + "played.mid";
    auto &buffer = seq::buffer();

    // Real-time messages between the notes are left out.
    const unsigned atMs[] = {0, 250, 375};
    fake.fileDialogs.answers.push_back(path);
    rig.whileShown(&Player::SeqRec_Click, "frmRecording", [&](QDialog &window) {
        keyboard.play({{0, {0x90, 60, 1}},
                       {100, {0xF8}},
                       {250, {0x90, 60, 2}},
                       {300, {0xFE}},
                       {375, {0x90, 60, 3}}});
        EXPECT_TRUE(QTest::qWaitFor([&] { return buffer.capCount() == 4; }));
        QTest::qWait(50); // for anything after the last note
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
    {
        // The capture holds the input: a second open of it answers that it is in use.
        frmSeq busy(rig.state);
        busy.show();
        EXPECT_EQ(fake.messages.texts,
                  std::vector<std::string>{"Oops, the MIDI input device is already open"});
        fake.messages.texts.clear();
    }
    rig.player.Form_Unload(); // frees the input for the sequencer window
    frmSeq sequencer(rig.state);
    sequencer.show();
    sequencer.findChild<QCheckBox *>(QStringLiteral("chkControl"))->setChecked(true);
    auto shows = [&](const char *state) {
        return QTest::qWaitFor(
            [&] { return rig.text(sequencer, "lblState") == QString::fromUtf8(state); });
    };

    // The saved file played by the MCI player at 100 and 125 %, and by the sequencer under
    // remote control, whose Play asks for the file first. (Wine's MCI sequencer takes its tempo
    // in other units than Windows', so there only at 100 %.)
    using Notes = decltype(keyboard.waitSent(0, 0ms));
    std::vector<std::pair<std::string_view, double>> players = {{"MCI", 1.0}, {"sequencer", 1.0}};
#ifndef _WIN32
    players.insert(players.begin() + 1, {"MCI", 0.8});
#endif
    for (const auto &[by, factor] : players) {
        // A run that a stall of the system spoiled is tried again; a late note of ours is not.
        EXPECT_TRUE(test::timedRun(keyboard, [&, by = by, factor = factor] {
            keyboard.waitSent(SIZE_MAX, 50ms); // what a spoiled run left behind
            fake.fileDialogs.answers = {path};
            Notes notes;
            if (by == "sequencer") {
                sequencer.cmdStop_Click(); // a spoiled run may still play
                buffer.capClear();
                keyboard.play({{0, {0xCF, 127}}});
                notes = shows("Playing") ? keyboard.waitSent(3, 5s) : Notes{};
                if (!shows("Ready"))
                    notes.clear();
            } else {
                rig.whileShown(&Player::SeqPlay_Click, "frmPlaying", [&](QDialog &window) {
                    auto &playing = static_cast<frmPlaying &>(window);
                    factor < 1 ? playing.cmdFaster_Click() : playing.cmdNormal_Click();
                    notes = keyboard.waitSent(3, 5s);
                    playing.cmdCancel_Click();
                });
            }
            std::erase_if(notes, [](const auto &note) { return note.bytes[0] != 0x90; });
            if (notes.size() != 3)
                return ::testing::AssertionFailure() << by << ": " << notes.size() << " notes";
            for (int i = 1; i < 3; ++i) {
                const double ms = notes[i].ms - notes[0].ms;
                if (std::abs(ms - captured[i] * factor) > Keyboard::toleranceMs)
                    return ::testing::AssertionFailure()
                           << by << " at " << 100 / factor << " %, note " << i << ": " << ms
                           << " ms instead of " << captured[i] * factor;
            }
            return ::testing::AssertionSuccess();
        }));
    }
    // Channel 16's Play/Pause/Resume and Stop step the window; on channel 1 they are only notes
    // of the recording.
    for (const auto &[program, state] :
         {std::pair{127, "Playing"}, {127, "Paused"}, {127, "Playing"}, {125, "Ready"}}) {
        keyboard.play({{0, {0xCF, std::uint8_t(program)}}});
        EXPECT_TRUE(shows(state)) << program << " should show " << state;
    }
    // A remote Stop ends the take at itself: the note-off right behind it is not recorded.
    keyboard.play({{0, {0xCF, 126}}});
    EXPECT_TRUE(shows("Recording"));
    keyboard.play({{0, {0xC0, 127}}, {0, {0xCF, 125}}, {0, {0x80, 60, 0}}});
    EXPECT_TRUE(shows("Ready"));
    EXPECT_EQ(buffer.capCount(), 3);
    EXPECT_EQ(std::pair(buffer.capEvent(1), buffer.capEvent(2)), std::pair(0x7FC0, 0x7DCF));
    EXPECT_NE(mci->mciSendStringA("status midio mode", nullptr, 0, 0), 0u)
        << "Finished has stopped and closed the device";
    EXPECT_TRUE(fake.messages.texts.empty());
}

} // namespace
} // namespace parlet
