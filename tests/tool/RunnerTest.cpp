// The command runner: one tool process at a time behind the modal wait window, polled by the
// main window's one-second timer.
#include "ModalHelpers.h"
#include "app/MainForm.h"
#include "tool/ToolFrontEnd.h"
#include "fakes/FakePlatform.h"
#include "platform/RealServices.h"
#include "tool/shellWait.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>

namespace parlet {
namespace {

using testing::ElementsAre;
using testing_tool::whenShown;

constexpr const char *kShellFailed =
    "Shell failed. Is the current directory set to the location of this executable?";

QString qs(const char *text) {
    return QString::fromUtf8(text);
}

QString outputOf(shellWait &window) {
    return window.findChild<QPlainTextEdit *>(qs("txtOutput"))->toPlainText();
}

class Runner : public testing::Test {
  protected:
    Runner() : form(fake.platform) {
        form.state().midiInDev = 0;
        form.state().midiOutDev = 1;
    }
    void click(const char *name) { form.findChild<QPushButton *>(qs(name))->click(); }

    fakes::FakePlatform fake;
    MainForm form;
};

TEST_F(Runner, AToolThatEndsAtOnceIsSeenAtTheNextTick) {
    fake.processes.exitAtOnce = true;
    QElapsedTimer elapsed;
    elapsed.start();
    click("cmdReset"); // the real timer does the polling here
    EXPECT_GE(elapsed.elapsed(), 900);
    EXPECT_LT(elapsed.elapsed(), 1500);
    EXPECT_FALSE(form.tool().waitWindow().shellBusy);
    const HANDLE process = fake.processes.lastHandle();
    EXPECT_THAT(fake.processes.closed, ElementsAre(process + 1, process));
    EXPECT_TRUE(fake.messages.texts.empty());
}

TEST_F(Runner, ARunningToolKeepsTheWindowUpAndRefusesASecondCommand) {
    whenShown<shellWait>([&](shellWait &window) {
        EXPECT_EQ(window.windowTitle(), qs("Waiting"));
        EXPECT_EQ(window.findChild<QLabel *>(qs("Label1"))->text(),
                  qs("Waiting for command to complete"));
        for (int tick = 0; tick < 3; ++tick)
            form.seqTimer().seqTimer_Timer();
        EXPECT_TRUE(window.isVisible());
        form.tool().sendKorrelCmd("-R"); // another path than the blocked main window
        EXPECT_EQ(fake.processes.started.size(), 1u);
        fake.processes.finishLast();
        form.seqTimer().seqTimer_Timer();
    });
    click("cmdVersion");
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("Please exit the previous command before starting another"));
    EXPECT_FALSE(form.tool().waitWindow().isVisible());
    // The end is handled once: no further waits or closes after it.
    const auto waits = fake.processes.waited.size();
    form.seqTimer().seqTimer_Timer();
    EXPECT_EQ(fake.processes.waited.size(), waits);
    EXPECT_EQ(fake.processes.closed.size(), 2u);
}

TEST_F(Runner, AToolThatCannotBeFoundFailsOnceAndTheRunnerGoesIdle) {
    fake.processes.knownPrograms.clear();
    int reentered = 0;
    // Ticks go on while the message box is open.
    fake.messages.onShow = [&](const std::string &) {
        for (; reentered < 3; ++reentered)
            form.seqTimer().seqTimer_Timer();
    };
    whenShown<shellWait>([&](shellWait &) { form.seqTimer().seqTimer_Timer(); });
    click("cmdMonitor");
    EXPECT_THAT(fake.messages.texts, ElementsAre(kShellFailed));
    EXPECT_EQ(reentered, 3);
    EXPECT_FALSE(form.tool().waitWindow().shellBusy);
    EXPECT_TRUE(fake.processes.closed.empty());

    fake.processes.knownPrograms = {"korrel"};
    fake.processes.exitAtOnce = true;
    whenShown<shellWait>([&](shellWait &) { form.seqTimer().seqTimer_Timer(); });
    click("cmdMonitor");
    EXPECT_EQ(fake.processes.closed.size(), 2u);
    EXPECT_EQ(fake.messages.texts.size(), 1u);
}

TEST_F(Runner, ClosingTheWaitWindowLeavesTheToolRunningAndFreesTheRunner) {
    whenShown<shellWait>([](shellWait &window) { window.close(); });
    click("cmdMonitor");
    EXPECT_FALSE(form.tool().waitWindow().shellBusy);
    const HANDLE first = fake.processes.lastHandle();
    EXPECT_TRUE(fake.processes.processes[first].running);

    // A second command starts at once; only it is polled, and only its output is shown.
    fake.processes.waited.clear();
    whenShown<shellWait>([&](shellWait &window) {
        form.seqTimer().seqTimer_Timer();
        fake.processes.outputHandler(first, "stale\n", false);
        EXPECT_EQ(outputOf(window), QString());
        fake.processes.finishLast();
        form.seqTimer().seqTimer_Timer();
    });
    click("cmdReset");
    ASSERT_EQ(fake.processes.started.size(), 2u);
    const HANDLE second = fake.processes.lastHandle();
    EXPECT_THAT(fake.processes.waited, testing::Each(second));
    EXPECT_THAT(fake.processes.closed, ElementsAre(second + 1, second));
    EXPECT_TRUE(fake.messages.texts.empty());

    // A failed start after an abandoned command still shows as a failure.
    fake.processes.knownPrograms.clear();
    whenShown<shellWait>([&](shellWait &) { form.seqTimer().seqTimer_Timer(); });
    click("cmdReset");
    EXPECT_THAT(fake.messages.texts, ElementsAre(kShellFailed));
}

// The real process layer with the stand-in tool, which lives beside the test program, not in the
// current folder. Keep Window Open waits for Enter typed in the wait window, which closes within
// about a second after that.
TEST(RealRunner, RunsTheStandInToolAndPassesEnterToIt) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    auto processes = makeRealProcesses();
    PROCESS_INFORMATION info;
    EXPECT_FALSE(processes->CreateProcessA("no-such-tool-here -R", info));
    EXPECT_EQ(processes->WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);

    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.midiStream, fake.mci,  *processes,
                      fake.folders, fake.fileDialogs, fake.messages,   fake.clock};
    MainForm form(platform);
    form.state().midiInDev = 0;
    form.state().midiOutDev = 0;
    form.findChild<QCheckBox *>(qs("chkBat"))->setChecked(true);
    QElapsedTimer sinceEnter;
    whenShown<shellWait>([&](shellWait &window) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return outputOf(window).contains(qs("Press Enter to close")); }, 10000))
            << outputOf(window).toStdString();
        EXPECT_THAT(outputOf(window).toStdString(),
                    testing::HasSubstr("Query the Ombrix modules for their version"));
        QTest::qWait(300);
        EXPECT_TRUE(window.isVisible()) << "korrel.bat ended before Enter";
        sinceEnter.start();
        QTest::keyClick(window.findChild<QLineEdit *>(qs("txtInput")), Qt::Key_Return);
    });
    form.findChild<QPushButton *>(qs("cmdVersion"))->click();
    EXPECT_EQ(form.findChild<QLabel *>(qs("lblCommand"))->text(), qs("korrel.bat -i 0 -o 0 -P -V"));
    EXPECT_LT(sinceEnter.elapsed(), 1500);
    EXPECT_TRUE(fake.messages.texts.empty());
    QDir::setCurrent(previous);
}

} // namespace
} // namespace parlet
