// The command runner: one tool process at a time behind the modal wait window, polled by the
// main window's one-second timer.
#include "ModalHelpers.h"
#include "app/MainForm.h"
#include "fakes/FakePlatform.h"
#include "platform/RealServices.h"
#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

namespace parlet {
namespace {

using testing_tool::whenShown;

constexpr const char *kBusy = "Please exit the previous command before starting another";
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
        form.midiInDev = 0;
        form.midiOutDev = 1;
    }
    QPushButton *button(const char *name) { return form.findChild<QPushButton *>(qs(name)); }

    fakes::FakePlatform fake;
    MainForm form;
};

TEST_F(Runner, AToolThatEndsAtOnceIsSeenAtTheNextTick) {
    fake.processes.exitAtOnce = true;
    QElapsedTimer elapsed;
    elapsed.start();
    button("cmdReset")->click(); // the real timer does the polling here
    EXPECT_LT(elapsed.elapsed(), 1500);
    EXPECT_GE(elapsed.elapsed(), 900);
    EXPECT_TRUE(form.seqTimer().isActive());
    EXPECT_EQ(form.seqTimer().interval(), 1000);
    EXPECT_FALSE(form.waitWindow().shellBusy);
    const HANDLE process = fake.processes.lastHandle();
    EXPECT_THAT(fake.processes.closed, testing::ElementsAre(process + 1, process));
    EXPECT_TRUE(fake.messages.texts.empty());
}

TEST_F(Runner, ARunningToolKeepsTheWindowUpAndRefusesASecondCommand) {
    int ticksWhileRunning = 0;
    whenShown<shellWait>([&](shellWait &window) {
        EXPECT_EQ(window.windowTitle(), qs("Waiting"));
        auto *label = window.findChild<QLabel *>(qs("Label1"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), qs("Waiting for command to complete"));
        EXPECT_EQ(label->font().pointSize(), 18);
        EXPECT_TRUE(window.shellBusy);
        for (; ticksWhileRunning < 3; ++ticksWhileRunning)
            form.seqTimer_Timer();
        EXPECT_TRUE(window.isVisible());
        form.sendKorrelCmd("-R"); // another path than the blocked main window
        EXPECT_EQ(fake.processes.started.size(), 1u);
        fake.processes.finishLast();
        form.seqTimer_Timer();
    });
    button("cmdVersion")->click();
    EXPECT_THAT(fake.messages.texts, testing::ElementsAre(kBusy));
    EXPECT_FALSE(form.waitWindow().isVisible());
    EXPECT_FALSE(form.waitWindow().shellBusy);
    // The end is handled once: no further waits or closes after it.
    const auto waits = fake.processes.waited.size();
    const auto closes = fake.processes.closed.size();
    form.seqTimer_Timer();
    EXPECT_EQ(fake.processes.waited.size(), waits);
    EXPECT_EQ(fake.processes.closed.size(), closes);
    EXPECT_EQ(closes, 2u);
}

TEST_F(Runner, AToolThatCannotBeFoundFailsOnceAndTheRunnerGoesIdle) {
    fake.processes.knownPrograms.clear();
    int reentered = 0;
    // Ticks go on while the message box is open.
    fake.messages.onShow = [&](const std::string &) {
        for (; reentered < 3; ++reentered)
            form.seqTimer_Timer();
    };
    whenShown<shellWait>([&](shellWait &) {
        form.seqTimer_Timer();
        form.seqTimer_Timer();
    });
    button("cmdMonitor")->click();
    EXPECT_THAT(fake.messages.texts, testing::ElementsAre(kShellFailed));
    EXPECT_EQ(reentered, 3);
    EXPECT_FALSE(form.waitWindow().shellBusy);
    EXPECT_TRUE(fake.processes.closed.empty());

    // Idle again: the next command starts.
    fake.processes.knownPrograms = {"korrel"};
    whenShown<shellWait>([&](shellWait &) {
        fake.processes.finishLast();
        form.seqTimer_Timer();
    });
    button("cmdMonitor")->click();
    EXPECT_EQ(fake.messages.texts.size(), 1u);
}

TEST_F(Runner, ClosingTheWaitWindowLeavesTheToolRunningAndFreesTheRunner) {
    whenShown<shellWait>([](shellWait &window) { window.close(); });
    button("cmdMonitor")->click();
    EXPECT_FALSE(form.waitWindow().shellBusy);
    const HANDLE first = fake.processes.lastHandle();
    EXPECT_TRUE(fake.processes.processes[first].running);
    EXPECT_TRUE(fake.processes.closed.empty());

    // A second command starts at once and only it is polled.
    fake.processes.waited.clear();
    whenShown<shellWait>([&](shellWait &) {
        form.seqTimer_Timer();
        fake.processes.finishLast();
        form.seqTimer_Timer();
    });
    button("cmdReset")->click();
    ASSERT_EQ(fake.processes.started.size(), 2u);
    const HANDLE second = fake.processes.lastHandle();
    EXPECT_THAT(fake.processes.waited, testing::Each(second));
    EXPECT_THAT(fake.processes.closed, testing::ElementsAre(second + 1, second));
    EXPECT_TRUE(fake.processes.processes[first].processHandleOpen);
    EXPECT_TRUE(fake.messages.texts.empty());
}

TEST_F(Runner, AFailedStartAfterAnAbandonedCommandStillShowsAsAFailure) {
    whenShown<shellWait>([](shellWait &window) { window.close(); });
    button("cmdMonitor")->click();
    fake.processes.knownPrograms.clear();
    whenShown<shellWait>([&](shellWait &) { form.seqTimer_Timer(); });
    button("cmdReset")->click();
    EXPECT_THAT(fake.messages.texts, testing::ElementsAre(kShellFailed));
}

TEST_F(Runner, TheWindowShowsThisToolsOutputAndPassesTypedLines) {
    whenShown<shellWait>([&](shellWait &window) {
        fake.processes.output("Version 1.0\n");
        fake.processes.output("warning: no modules\n", true);
        auto *input = window.findChild<QLineEdit *>(qs("txtInput"));
        QTest::keyClicks(input, qs("yes"));
        QTest::keyClick(input, Qt::Key_Return);
        EXPECT_EQ(outputOf(window), qs("Version 1.0\nwarning: no modules\n"));
        EXPECT_EQ(input->text(), QString());
        fake.processes.finishLast();
        form.seqTimer_Timer();
    });
    button("cmdVersion")->click();
    EXPECT_THAT(fake.processes.stdinLines, testing::ElementsAre("yes\n"));
    // Output of a process that is no longer watched does not reach the next command's window.
    whenShown<shellWait>([&](shellWait &window) {
        fake.processes.outputHandler(100, "stale\n", false);
        EXPECT_EQ(outputOf(window), QString());
        fake.processes.finishLast();
        form.seqTimer_Timer();
    });
    button("cmdReset")->click();
}

// ---- The real process layer.

class RealRunner : public testing::Test {
  protected:
    void SetUp() override {
        processes = makeRealProcesses();
        ASSERT_TRUE(folder.isValid());
        previous = QDir::currentPath();
        // korrel lives beside the test program, not in the current folder.
        QDir::setCurrent(folder.path());
    }
    void TearDown() override { QDir::setCurrent(previous); }

    // Polls as the timer would until the process ends; WAIT_TIMEOUT when it runs past 10 s.
    std::uint32_t waitFor(HANDLE process) {
        std::uint32_t result = WAIT_TIMEOUT;
        (void)QTest::qWaitFor(
            [&] {
                result = processes->WaitForSingleObject(process, 0);
                return result != WAIT_TIMEOUT;
            },
            10000);
        return result;
    }

    std::unique_ptr<Processes> processes;
    QTemporaryDir folder;
    QString previous;
};

TEST_F(RealRunner, RunsAProgramFromThePathWithSplitArgumentsAndSeparateStreams) {
    std::string out, err;
    processes->SetOutputHandler(
        [&](HANDLE, const std::string &text, bool isError) { (isError ? err : out) += text; });
    PROCESS_INFORMATION info;
    ASSERT_TRUE(processes->CreateProcessA(
        R"(sh  -c "echo \"$1|$2|$3\"; echo oops >&2; read line; echo got $line" x -i-1 "a  b" "")",
        info));
    EXPECT_NE(info.hProcess, 0);
    EXPECT_NE(info.hThread, 0);
    EXPECT_EQ(processes->WaitForSingleObject(info.hProcess, 0), WAIT_TIMEOUT);
    processes->WriteStdin(info.hProcess, "hello\n");
    EXPECT_EQ(waitFor(info.hProcess), WAIT_OBJECT_0);
    EXPECT_EQ(out, "-i-1|a  b|\ngot hello\n");
    EXPECT_EQ(err, "oops\n");
    EXPECT_TRUE(processes->CloseHandle(info.hThread));
    EXPECT_TRUE(processes->CloseHandle(info.hProcess));
    EXPECT_FALSE(processes->CloseHandle(info.hProcess));
    EXPECT_EQ(processes->WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);
}

TEST_F(RealRunner, AMissingProgramStartsNothingAndFailsTheWait) {
    PROCESS_INFORMATION info;
    EXPECT_FALSE(processes->CreateProcessA("no-such-tool-here -R", info));
    EXPECT_EQ(info.hProcess, 0);
    EXPECT_EQ(processes->WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);
    EXPECT_FALSE(processes->CreateProcessA("   ", info));
}

TEST_F(RealRunner, FindsTheToolInTheProgramsOwnFolder) {
    std::string out;
    processes->SetOutputHandler([&](HANDLE, const std::string &text, bool) { out += text; });
    PROCESS_INFORMATION info;
    ASSERT_TRUE(processes->CreateProcessA("korrel -i 0 -o 1 -P -V", info))
        << "korrel beside " << QCoreApplication::applicationDirPath().toStdString();
    EXPECT_EQ(waitFor(info.hProcess), WAIT_OBJECT_0);
    EXPECT_THAT(out, testing::HasSubstr("Query the Ombrix modules for their version"));
}

// The main window with the real process layer and the stand-in tool: the wait window shows the
// tool's output and closes within about a second of its end.
TEST_F(RealRunner, KeepWindowOpenWaitsForEnterTypedInTheWaitWindow) {
    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.midiStream, fake.mci,  *processes,
                      fake.folders, fake.fileDialogs, fake.messages,   fake.clock};
    MainForm form(platform);
    form.midiInDev = 0;
    form.midiOutDev = 0;
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
        auto *input = window.findChild<QLineEdit *>(qs("txtInput"));
        sinceEnter.start();
        QTest::keyClick(input, Qt::Key_Return);
    });
    form.findChild<QPushButton *>(qs("cmdVersion"))->click();
    EXPECT_EQ(form.findChild<QLabel *>(qs("lblCommand"))->text(), qs("korrel.bat -i 0 -o 0 -P -V"));
    EXPECT_LT(sinceEnter.elapsed(), 1500);
    EXPECT_TRUE(fake.messages.texts.empty());
}

// Every button through the real process layer to the stand-in tool, which says what it understood.
TEST_F(RealRunner, EveryButtonReachesTheStandInTool) {
    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.midiStream, fake.mci,  *processes,
                      fake.folders, fake.fileDialogs, fake.messages,   fake.clock};
    MainForm form(platform);
    form.midiInDev = 0;
    form.midiOutDev = 1;
    auto field = [&](const char *name) { return form.findChild<QLineEdit *>(qs(name)); };
    auto box = [&](const char *name) { return form.findChild<QCheckBox *>(qs(name)); };
    struct Case {
        const char *button;
        std::function<void()> setup;
        const char *understood;
    } cases[] = {
        {"cmdConfigFile",
         [&] { fake.fileDialogs.answers = {std::string("/data/My Configs/loop.ocf")}; }, nullptr},
        {"cmdDownload", [] {}, R"(Download the configuration file "/data/My Configs/loop.ocf")"},
        {"cmdMonitor", [] {}, "Monitor MIDI messages arriving on input device 0."},
        {"cmdReset", [] {}, "Send a reset to output device 1"},
        {"cmdVersion", [] {}, "Query the Ombrix modules for their version information."},
        {"cmdProgram", [&] { box("chkDebug_8")->setChecked(true); },
         "Debug display: Parser Details."},
        {"cmdVerify",
         [&] {
             box("chkDebug_8")->setChecked(false);
             box("chkModuleOnly")->setChecked(true);
             field("txtModule")->setText(qs("3"));
         },
         "Verify the program (executive) starting at module 3."},
        {"cmdHalt", [&] { box("chkModuleOnly")->setChecked(false); },
         "Halt the modules on every module."},
        {"cmdRun", [] {}, "Run the modules on every module."},
        {"cmdDataDiag", [&] { field("txtDiagCount")->setText(qs("-1")); },
         "Data diagnostic: send random messages without end"},
        {"cmdSaveReg", [&] { fake.fileDialogs.answers = {std::string("/data/a b.reg")}; },
         R"(Save all registration memories to the file "/data/a b.reg".)"},
        {"cmdLoadReg",
         [&] {
             fake.fileDialogs.answers = {std::string("/data/a b.reg")};
             box("chkRegOnly")->setChecked(true);
             field("txtRegMem")->setText(qs("5"));
             field("txtRegThrough")->setText(qs("7"));
         },
         R"(Load registration memories 5 through 7 (3) from the file "/data/a b.reg".)"},
    };
    for (const auto &c : cases) {
        c.setup();
        std::string output;
        if (c.understood != nullptr) {
            whenShown<shellWait>([&](shellWait &window) {
                // Polled by hand once the tool has said its piece, to keep the test short.
                EXPECT_TRUE(QTest::qWaitFor(
                    [&] {
                        output = outputOf(window).toStdString();
                        form.seqTimer_Timer();
                        return !window.isVisible();
                    },
                    10000));
            });
        }
        form.findChild<QPushButton *>(qs(c.button))->click();
        if (c.understood != nullptr) {
            EXPECT_THAT(output, testing::HasSubstr(c.understood)) << c.button;
        }
    }
    whenShown<frmCopyReg>([&](frmCopyReg &dialog) {
        whenShown<shellWait>([&](shellWait &window) {
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    if (outputOf(window).contains(qs("Copy registration memory 0 onto "
                                                     "registration memories 1 through 127")))
                        form.seqTimer_Timer();
                    return !window.isVisible();
                },
                10000))
                << outputOf(window).toStdString();
        });
        dialog.findChild<QPushButton *>(qs("cmdCopyOk"))->click();
    });
    form.findChild<QPushButton *>(qs("cmdCopyReg"))->click();
    EXPECT_TRUE(fake.messages.texts.empty());
}

} // namespace
} // namespace parlet
