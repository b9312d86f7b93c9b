#include "PlayerRig.h"
#include "fakes/CommaLocale.h"
#include "player/SmfWriter.h"
#include "player/seq.h"

#include <QLineEdit>

#include <gmock/gmock.h>

#include <fstream>

namespace parlet {
namespace {

using ::testing::ElementsAre;

const std::string kOpen = "open \"/my music/a b.mid\" type sequencer alias midio";

// The capture window and the playing window, with a file to play, on a German desktop.
struct PlayerWindows : ::testing::Test, test::FakePlayerRig {
    PlayerWindows() {
        state.midiOutDev = 1;
        state.midFile = "last.mid";
        script.answers = {{"status midio division type", {0, std::string("PPQN\0x", 6)}},
                          {"status midio length", {0, "480"}},
                          {"status midio tempo", {0, "120"}},
                          {"status midio position", {0, "240"}},
                          {"status midio mode", {0, "playing"}}};
    }
    void record(const std::function<void(QDialog &)> &during) {
        rig.whileShown(&Player::SeqRec_Click, "frmRecording", during);
        EXPECT_FALSE(state.seqRecording);
    }
    // The capture's count and time shown after a tick.
    QString progress(QDialog &window) {
        rig.timer.seqTimer_Timer();
        return rig.text(window, "seqCount") + u'|' + rig.text(window, "seqTime");
    }
    // Plays "/my music/a b.mid"; `during` runs with the commands so far cleared and must end the
    // playback.
    void play(const std::function<void(QDialog &)> &during) {
        fake.fileDialogs.answers.push_back("/my music/a b.mid");
        rig.whileShown(&Player::SeqPlay_Click, "frmPlaying", [&](QDialog &window) {
            script.calls.clear();
            during(window);
        });
    }

    const test::CommaLocale comma;
};

// A capture ended by Cancel, the close box or Escape keeps what it took; the next one starts empty
// on the input left open. A cancelled dialog or a failed write leaves the window up with the
// capture stopped and kept, so that another name can be tried; a name typed without extension is
// used as typed. Shut-down closes the input; a busy input is reported and shows no window.
TEST_F(PlayerWindows, ACaptureShowsItsProgressAndIsSavedOnceAWriteSucceeds) {
    record([&](QDialog &window) { window.close(); });
    record([&](QDialog &window) { QTest::keyClick(&window, Qt::Key_Escape); });
    record([&](QDialog &window) {
        fake.midiIn.deliver(0x00403C80, 100);
        rig.click(window, "cmdCancel");
    });
    EXPECT_EQ(seq::buffer().entries().size(), 2u);
    EXPECT_TRUE(fake.fileDialogs.shown.empty());
    const std::string bad = path("no such folder/take.mid");
    fake.fileDialogs.answers = {std::nullopt, bad, path("take")};
    record([&](QDialog &window) {
        EXPECT_EQ(progress(window), QStringLiteral(" 1|0:00"));
        fake.midiIn.deliver(0x00643C90, 1500);
        fake.midiIn.deliver(0x000000F8, 1600); // clock: not stored; a tune request is
        fake.midiIn.deliver(0x000000F6, 1700);
        fake.midiIn.deliver(0x00403C80, 2000);
        EXPECT_EQ(progress(window), QStringLiteral(" 4|0:02"));
        for (int save = 0; save < 3 && window.isVisible(); ++save) {
            rig.click(window, "cmdSave");
            fake.midiIn.deliver(0x00403C80, 3000); // after the stop: never arrives
        }
    });
    rig.player.Form_Unload();
    EXPECT_EQ(seq::buffer().capCount(), 4) << "the input's close is not a message";
    fake.midiIn.busyDevices.insert(0);
    rig.player.SeqRec_Click(); // returns at once
    // Each capture starts the input, and again as its window shows, and stops it at its end.
    EXPECT_EQ(fake.midiIn.calls,
              (std::vector<std::string>{"open 0", "start 1", "start 1", "stop 1", "start 1",
                                        "start 1", "stop 1", "start 1", "start 1", "stop 1",
                                        "start 1", "start 1", "stop 1", "close 1", "open 0"}));
    EXPECT_EQ(state.midiInHnd, 0);
    EXPECT_THAT(
        fake.messages.texts,
        ElementsAre("The MIDI file " + bad +
                        " could not be written: No such file or directory. The recording is "
                        "still in memory; save it under another name or in another folder.",
                    "Oops, the MIDI device is already open"));
    const auto &[save, asked] = fake.fileDialogs.shown.at(0);
    EXPECT_TRUE(save && asked.overwritePrompt && asked.filterIndex == 1);
    EXPECT_EQ(asked.filter + "|" + asked.initDir + "|" + asked.fileName,
              "MIDI Files (*.mid)|*.mid|" + dir.path().toStdString() + "|last.mid");
    EXPECT_EQ(state.midFile, path("take"));
    std::ifstream written(path("take"), std::ios::binary);
    const std::vector<seq::Entry> entries{
        {seq::kTempoEntry, 0}, {0x00643C90, 1500}, {0xF6, 1700}, {0x00403C80, 2000}};
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(written), {}),
              smf::encode(entries, smf::DeltaMode::Absolute).bytes);
}

// The controls change the window even when the device refuses; the tick shows the position and
// notices the end; an unload closes the device at once; the close box ends a playback sending
// nothing and drops the window.
TEST_F(PlayerWindows, PlaybackShowsWhereItIsAndItsControlsSendTheirCommands) {
    script.answers["pause midio"] = {MCIERR_INVALID_FILE, ""};
    play([&](QDialog &window) {
        QStringList seen{rig.text(window, "lblTotTime")};
        rig.timer.seqTimer_Timer();
        seen << rig.text(window, "lblTime");
        for (const char *button : {"cmdFaster", "cmdFaster", "cmdFaster", "cmdNormal", "cmdSlower",
                                   "cmdSlower", "cmdPause", "cmdPause", "cmdStop", "cmdPause"}) {
            rig.click(window, button);
            seen << rig.text(window, "txtRate") + u',' + rig.text(window, "cmdPause");
        }
        auto *rate = window.findChild<QLineEdit *>(QStringLiteral("txtRate"));
        rate->clear();
        QTest::keyClicks(rate, QStringLiteral("9x"));
        script.answers["status midio mode"].second = std::string("stopped\0", 8);
        rig.timer.seqTimer_Timer();
        seen << rig.text(window, "cmdPause");
        EXPECT_EQ(seen.join(u'|'),
                  QStringLiteral("1:00|0:30| 125,Pause| 156.25,Pause| 195.3125,Pause|"
                                 "100,Pause| 80,Pause| 64,Pause| 64,Play|"
                                 " 64,Pause| 64,Play| 64,Pause|Play"));
        rig.player.Form_Unload();
        rig.click(window, "cmdCancel");
    });
    const auto &asked = fake.fileDialogs.shown[0].request;
    EXPECT_EQ(asked.filter + "|" + asked.fileName, "MIDI Files (*.mid)|*.mid|last.mid");
    EXPECT_EQ(state.midDir + "|" + state.midFile, "/my music|/my music/a b.mid");
    EXPECT_EQ(script.calls,
              "status midio position|status midio mode|set midio tempo  150|set midio tempo  187|"
              "set midio tempo  234|set midio tempo  120|set midio tempo  96|set midio tempo  76|"
              "pause midio|play midio|stop midio|seek midio to start|play midio from 0|"
              "set midio tempo  0|set midio tempo  10|set midio tempo  10|status midio position|"
              "status midio mode|seek midio to start|close midio|stop midio");
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("Command \"pause midio\" failed\r\nNot a MIDI file."));
    play([&](QDialog &window) {
        EXPECT_EQ(rig.text(window, "txtRate") + rig.text(window, "cmdPause"),
                  QStringLiteral("100Pause"));
        window.close();
    });
    EXPECT_EQ(script.calls, "close midio");
}

// A file that does not open leaves nothing to close; a refused port closes the device again.
TEST_F(PlayerWindows, AFailedPlaybackStepEndsThePlaybackAndClosesWhatWasOpened) {
    fake.fileDialogs.answers = {"/my music/a b.mid", "/my music/a b.mid"};
    script.answers[kOpen] = {MCIERR_INVALID_FILE, ""};
    rig.player.SeqPlay_Click();
    script.answers.erase(kOpen);
    script.answers["set midio port  1"] = {1234, ""};
    rig.player.SeqPlay_Click();
    EXPECT_EQ(script.calls, kOpen + "|" + kOpen + "|set midio port  1|close midio");
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("Command \"" + kOpen + "\" failed\r\nNot a MIDI file.",
                            "command \"set midio port  1\" failed"));
    EXPECT_FALSE(rig.timer.isActive());
}

} // namespace
} // namespace parlet
