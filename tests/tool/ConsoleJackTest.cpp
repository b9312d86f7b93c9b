// The real command runner and the stand-in tool on a private JACK server: what a user meets in the
// console of korrel.bat, and when that console is closed while the tool still runs.
#include "JackServer.h"
#include "platform/RealServices.h"
#include "tool/ToolFixture.h"

#include <cstdlib>

namespace parlet {
namespace {

using namespace std::literals;
using test::JackServer;

class ConsoleJack : public test::JackTest {};

// The real runner and the stand-in tool, which lives beside the test program, not in the current
// folder. The tool monitors the keyboard until Enter, then the batch file's console waits for
// Enter of its own and stays open. Closed while the tool still runs a diagnostic that the keyboard
// answers, which reads no input and writes no output that could end it, the console ends the tool
// and the batch file at once: the tool by itself, well before the runner's kill two seconds on,
// and the wait window at the next tick.
TEST_F(ConsoleJack, TheBatchFilesConsoleAnswersAndClosingItEndsTheToolItRuns) {
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
