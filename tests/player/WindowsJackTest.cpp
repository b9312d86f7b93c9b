// The main window's capture, its MCI playback and the sequencer window on the real MIDI system:
// a second JACK client plays the keyboard on their input and listens to what they play.
#include "JackServer.h"
#include "PlayerRig.h"
#include "platform/RealServices.h"
#include "player/frmPlaying.h"
#include "player/seq.h"
#include "sequencer/frmSeq.h"
#include "tool/ToolFixture.h"

#include <cmath>
#include <cstdlib>

namespace parlet {
namespace {

using namespace std::literals;
using test::JackServer;

class WindowsJack : public test::JackTest {};

TEST_F(WindowsJack, ACaptureIsSavedAtItsIntervalsAndPlaysBackSoThroughBothPlayers) {
    test::JackTestClient keyboard("keyboard");
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

    const std::uint32_t atMs[] = {0, 250, 375};
    fake.fileDialogs.answers.push_back(path);
    rig.whileShown(&Player::SeqRec_Click, "frmRecording", [&](QDialog &window) {
        // Well ahead, so that a server held up by a busy machine still sends them at their frames.
        const std::uint32_t first = keyboard.frameNow() + JackServer::sampleRate / 10;
        for (std::uint8_t i = 0; i < 3; ++i)
            keyboard.sendAt(first + atMs[i] * JackServer::sampleRate / 1000,
                            {0x90, 60, std::uint8_t(i + 1)});
        EXPECT_TRUE(QTest::qWaitFor([&] { return buffer.capCount() == 4; }));
        rig.click(window, "cmdSave");
    });
    ASSERT_EQ(buffer.capCount(), 4);
    std::int32_t captured[3];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buffer.capEvent(i + 1), 0x90 | 60 << 8 | (i + 1) << 16);
        // The driver's timestamps: exact to the frame, so within a millisecond however late the
        // callback ran.
        captured[i] = buffer.capTime(i + 1) - buffer.capTime(1);
        EXPECT_NEAR(captured[i], atMs[i], 1);
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
    // remote control, whose Play asks for the file first.
    using Notes = std::vector<test::JackTestClient::Received>;
    const std::pair<std::string_view, double> players[] = {
        {"MCI", 1.0}, {"MCI", 0.8}, {"sequencer", 1.0}};
    constexpr double msPerFrame = 1000.0 / JackServer::sampleRate;
    for (const auto &[by, factor] : players) {
        // A run that the server's own stall spoiled is tried again; a late note of ours is not.
        EXPECT_TRUE(test::timedRun(keyboard, [&, by = by, factor = factor] {
            keyboard.waitReceived(SIZE_MAX, 50ms); // what a spoiled run left behind
            fake.fileDialogs.answers = {path};
            Notes notes;
            if (by == "sequencer") {
                sequencer.cmdStop_Click(); // a spoiled run may still play
                buffer.capClear();
                keyboard.sendAt(keyboard.frameNow(), {0xCF, 127});
                notes = shows("Playing") ? keyboard.waitReceived(3, 5s) : Notes{};
                if (!shows("Ready"))
                    notes.clear();
            } else {
                rig.whileShown(&Player::SeqPlay_Click, "frmPlaying", [&](QDialog &window) {
                    auto &playing = static_cast<frmPlaying &>(window);
                    factor < 1 ? playing.cmdFaster_Click() : playing.cmdNormal_Click();
                    notes = keyboard.waitReceived(3, 5s);
                    playing.cmdCancel_Click();
                });
            }
            if (notes.size() != 3)
                return ::testing::AssertionFailure() << by << ": " << notes.size() << " notes";
            for (int i = 1; i < 3; ++i) {
                const double ms = (notes[i].frame - notes[0].frame) * msPerFrame;
                if (std::abs(ms - captured[i] * factor) > JackServer::periodFrames * msPerFrame)
                    return ::testing::AssertionFailure()
                           << by << " at " << 100 / factor << " %, note " << i << ": " << ms
                           << " ms instead of " << captured[i] * factor;
            }
            return ::testing::AssertionSuccess();
        }));
    }
    // A remote Stop ends the take at itself: the note-off right behind it is not recorded, and a
    // Play on channel 1 is only a note of the recording.
    sequencer.cmdRecord_Click();
    const std::uint32_t now = keyboard.frameNow();
    for (const auto &message : {std::vector<std::uint8_t>{0xC0, 127}, {0xCF, 125}, {0x80, 60, 0}})
        keyboard.sendAt(now, message);
    EXPECT_TRUE(shows("Ready"));
    EXPECT_EQ(buffer.capCount(), 3);
    EXPECT_EQ(std::pair(buffer.capEvent(1), buffer.capEvent(2)), std::pair(0x7FC0, 0x7DCF));
    EXPECT_EQ(mci->mciSendStringA("status midio mode", nullptr, 0, 0), MCIERR_INVALID_DEVICE_NAME)
        << "Finished has stopped and closed the device";
    EXPECT_TRUE(fake.messages.texts.empty());
}

// The real runner and the stand-in tool, which lives beside the test program, not in the current
// folder. The tool monitors the keyboard until Enter, then the batch file's console waits for
// Enter of its own and stays open. Closed while the tool still runs a diagnostic that the keyboard
// answers, which reads no input and writes no output that could end it, the console ends the tool
// and the batch file at once: the tool by itself, well before the runner's kill two seconds on,
// and the wait window at the next tick.
TEST_F(WindowsJack, TheBatchFilesConsoleAnswersAndClosingItEndsTheToolItRuns) {
    using namespace testing_tool;
    test::JackTestClient keyboard("keyboard");
    ASSERT_TRUE(keyboard.ok());
    auto processes = makeRealProcesses();
    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.script,   fake.script, *processes,
                      fake.folders, fake.fileDialogs, fake.messages, fake.clock};
    MainForm form(platform);
    form.state().midiInDev = form.state().midiOutDev = 0;
    child<QCheckBox>(form, "chkBat")->setChecked(true);
    auto console = [&] { return consoles(form).back(); };
    auto says = [&](const char16_t *text) {
        auto *output = child<QPlainTextEdit>(*console(), "txtOutput");
        return QTest::qWaitFor([&] { return output->toPlainText().contains(text); });
    };
    whenShown<shellWait>([&](shellWait &) {
        EXPECT_TRUE(says(u"Press Enter to stop."));
        // Ahead, so that the tool's new connection is in place by then.
        keyboard.sendAt(keyboard.frameNow() + JackServer::sampleRate / 10, {0x80, 60, 0});
        EXPECT_TRUE(says(u"Note Off  channel 1  note 60  velocity 0  [80 3C 00]"));
        keyboard.sendAt(keyboard.frameNow(), {0xC0, 5}); // and it goes on until Enter
        EXPECT_TRUE(says(u"Program Change  channel 1  program 5  [C0 05]"));
        QTest::keyClick(child(*console(), "txtInput"), Qt::Key_Return);
        EXPECT_TRUE(says(u"Monitor ended after 2 messages."));
        EXPECT_TRUE(says(u"Press Enter to close"));
        QTest::keyClick(child(*console(), "txtInput"), Qt::Key_Return);
    });
    child<QPushButton>(form, "cmdMonitor")->click();
    ASSERT_EQ(consoles(form).size(), 1);
    console()->close();
    child(form, "txtDiagCount")->setText(u"100000"_s);
    child<QCheckBox>(form, "chkDebug_1")->setChecked(true); // no word for each message
    auto answer = [&] {
        for (const auto &message : keyboard.waitReceived(SIZE_MAX, 0ms))
            keyboard.sendAt(keyboard.frameNow(), message.bytes);
    };
    whenShown<shellWait>([&](shellWait &window) {
        EXPECT_TRUE(says(u"Sending to output device 0"));
        // Those of the group that have ended but wait for init to collect them do not count.
        const std::string alive =
            "pgrep -r R,S,D,T -g " + std::to_string(window.procInfo.dwProcessId) + " >/dev/null";
        console()->close();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return answer(), std::system(alive.c_str()) != 0; }, 1500))
            << "a process of the tool's outlived its console by one and a half seconds";
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isHidden(); }, 2500));
        if (window.isVisible())
            window.close(); // frees the runner from a tool that did not end
    });
    child<QPushButton>(form, "cmdDataDiag")->click();
    EXPECT_TRUE(consoles(form).empty() && fake.messages.texts.empty());
}

} // namespace
} // namespace parlet
