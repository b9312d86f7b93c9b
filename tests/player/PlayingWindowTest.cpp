#include "fakes/FakePlatform.h"
#include "fakes/RecordingMci.h"
#include "player/MciPlayer.h"
#include "player/PlaybackTexts.h"
#include "player/frmPlaying.h"
#include "shared/MainState.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace parlet {
namespace {

using ::testing::ElementsAre;
using Commands = std::vector<std::string>;

const std::string kOpen = "open \"/my music/a b.mid\" type sequencer alias midio";
const Commands kOpened{kOpen,
                       "set midio port  1",
                       "status midio division type",
                       "status midio length",
                       "status midio tempo",
                       "play midio"};

class PlayingWindow : public ::testing::Test {
  protected:
    PlayingWindow() {
        state.midiOutDev = 1;
        state.midFile = "/old/last.mid";
        mci.answers = {{kOpened[2], {0, std::string("PPQN\0x", 6)}},
                       {kOpened[3], {0, "480"}},
                       {kOpened[4], {0, "120"}},
                       {"status midio position", {0, "240"}},
                       {"status midio mode", {0, "playing"}}};
        mci.errorTexts[MCIERR_INVALID_FILE] = "Not a MIDI file.";
    }

    // Plays "/my music/a b.mid"; `during` runs while the playing window is shown, the commands
    // so far cleared, and must end the playback (a window left shown is hidden, not to hang).
    void play(const std::function<void()> &during) {
        fake.fileDialogs.answers.push_back("/my music/a b.mid");
        QTimer::singleShot(0, &window, [&] {
            mci.commands.clear();
            during();
            EXPECT_FALSE(player.window()->isVisible());
            player.window()->hide();
        });
        player.SeqPlay_Click();
        EXPECT_FALSE(player.seqPlaying() || timer.isActive());
    }
    QString shown(const char *name) {
        return player.window()
            ->findChild<QWidget *>(QString::fromUtf8(name))
            ->property("text")
            .toString();
    }
    void click(const char *name) {
        QTest::mouseClick(player.window()->findChild<QPushButton *>(QString::fromUtf8(name)),
                          Qt::LeftButton);
    }

    fakes::FakePlatform fake;
    fakes::RecordingMci mci;
    Platform platform{fake.devices, fake.midiIn,      fake.midiStream, mci,       fake.processes,
                      fake.folders, fake.fileDialogs, fake.messages,   fake.clock};
    QWidget window;
    SeqTimer timer;
    MainState state{platform, window, timer};
    MciPlayer player{state};
};

TEST_F(PlayingWindow, PlaysShowsPositionNoticesTheEndAndClosesOnFinished) {
    play([&] {
        EXPECT_EQ(player.window()->windowTitle(), QStringLiteral("Playing"));
        EXPECT_EQ(shown("lblTotTime"), QStringLiteral("1:00"));
        timer.seqTimer_Timer();
        EXPECT_EQ(shown("lblTime") + shown("cmdPause"), QStringLiteral("0:30Pause"));
        mci.answers["status midio mode"].second = std::string("stopped\0", 8);
        timer.seqTimer_Timer();
        EXPECT_EQ(shown("cmdPause"), QStringLiteral("Play"));
        EXPECT_EQ(player.window()->seqoState, 0);
        player.Form_Unload(); // closes at once, without a reply or a report
        click("cmdCancel");
    });
    const auto &asked = fake.fileDialogs.shown[0].request;
    EXPECT_EQ(asked.filter + "|" + asked.fileName, "MIDI Files (*.mid)|*.mid|/old/last.mid");
    EXPECT_EQ(state.midDir + "|" + state.midFile, "/my music|/my music/a b.mid");
    EXPECT_THAT(mci.commands, ElementsAre("status midio position", "status midio mode",
                                          "status midio position", "status midio mode",
                                          "seek midio to start", "close midio", "stop midio"));
}

TEST_F(PlayingWindow, ControlsSendTheirCommandsAndChangeTheWindowEvenWhenRefused) {
    mci.answers["pause midio"] = {MCIERR_INVALID_FILE, ""};
    play([&] {
        QStringList seen;
        for (const char *button : {"cmdFaster", "cmdFaster", "cmdFaster", "cmdNormal", "cmdSlower",
                                   "cmdSlower", "cmdPause", "cmdPause", "cmdStop", "cmdPause"}) {
            click(button);
            seen << shown("txtRate") + u',' + shown("cmdPause");
        }
        EXPECT_EQ(seen.join(u'|'), QStringLiteral(" 125,Pause| 156.25,Pause| 195.3125,Pause|"
                                                  "100,Pause| 80,Pause| 64,Pause| 64,Play|"
                                                  " 64,Pause| 64,Play| 64,Pause"));
        auto *rate = player.window()->findChild<QLineEdit *>(QStringLiteral("txtRate"));
        rate->clear();
        QTest::keyClicks(rate, QStringLiteral("9x"));
        click("cmdCancel");
    });
    EXPECT_THAT(mci.commands,
                ElementsAre("set midio tempo  150", "set midio tempo  187", "set midio tempo  234",
                            "set midio tempo  120", "set midio tempo  96", "set midio tempo  76",
                            "pause midio", "play midio", "stop midio", "seek midio to start",
                            "play midio from 0", "set midio tempo  0", "set midio tempo  10",
                            "set midio tempo  10", "stop midio", "close midio"));
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("Command \"pause midio\" failed\r\nNot a MIDI file."));
    play([&] { // afresh; the close box then ends the playback sending nothing
        EXPECT_EQ(shown("txtRate") + shown("cmdPause"), QStringLiteral("100Pause"));
        player.window()->close();
    });
    EXPECT_EQ(mci.commands, Commands{"close midio"});
    EXPECT_EQ(player.window(), nullptr) << "the close box drops the window";
}

TEST_F(PlayingWindow, AFailedStepEndsThePlaybackAndClosesWhatWasOpened) {
    fake.fileDialogs.answers.push_back(std::nullopt);
    player.SeqPlay_Click();
    EXPECT_TRUE(mci.commands.empty() && state.midFile == "/old/last.mid") << "cancelled";
    const struct {
        std::size_t failing; // in kOpened
        MMRESULT code;
        std::string message;
    } cases[] = {
        {0, MCIERR_INVALID_FILE, "Command \"" + kOpen + "\" failed\r\nNot a MIDI file."},
        {1, 1234, "command \"set midio port  1\" failed"},
        {5, 1234, "command \"play midio\" failed"},
    };
    for (const auto &c : cases) {
        mci.commands.clear();
        fake.messages.texts.clear();
        mci.answers[kOpened[c.failing]] = {c.code, ""};
        fake.fileDialogs.answers.push_back("/my music/a b.mid");
        player.SeqPlay_Click();
        Commands expected(kOpened.begin(), kOpened.begin() + long(c.failing) + 1);
        if (c.failing > 0)
            expected.push_back("close midio");
        EXPECT_EQ(mci.commands, expected);
        EXPECT_THAT(fake.messages.texts, ElementsAre(c.message));
        EXPECT_FALSE(player.seqPlaying() || timer.isActive());
        mci.answers.erase(kOpened[c.failing]);
    }
}

TEST(PlaybackTexts, OnlyPulseTimedRepliesAtAKnownTempoAreConverted) {
    EXPECT_EQ(playback::timeText("29520", true, 120), "1:30"); // 61.5 minutes
    EXPECT_EQ(playback::timeText("480", true, 0), "480");
    EXPECT_EQ(playback::timeText("00:01:02:03", false, 25), "00:01:02:03");
}

} // namespace
} // namespace parlet
