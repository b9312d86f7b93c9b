// The command runner: one tool process at a time behind the modal wait window, polled by the
// main window's one-second timer, each with a console window of its own.
#include "ToolFixture.h"
#include "platform/RealServices.h"

namespace parlet::testing_tool {

using testing::ElementsAre;

class Runner : public ToolTest {};

// Escape and a second command leave the running tool's wait window up; closed by hand, it leaves
// the tool running in its console and frees the runner, which then polls only the new command.
// Ticks go on while a message box is open.
TEST_F(Runner, OneToolAtATimeEachInAConsoleOfItsOwn) {
    whenShown<shellWait>([&](shellWait &window) {
        QTest::keyClick(&window, Qt::Key_Escape);
        tick();
        EXPECT_TRUE(window.isVisible());
        form.tool().sendKorrelCmd("-R"); // another path than the blocked main window
        window.close();
    });
    click("cmdMonitor");
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("Please exit the previous command before starting another"));
    whenShown<shellWait>([&](shellWait &) {
        fake.processes.outputHandler(100, "to the first\n", false);
        fake.processes.finishLast();
        tick();
    });
    click("cmdReset");
    tick(); // the end is handled once: no further waits or closes after it
    EXPECT_THAT(fake.processes.waited, ElementsAre(100, 102));
    EXPECT_THAT(fake.processes.closed, ElementsAre(103, 102));
    ASSERT_EQ(consoles(form).size(), 1); // the second closed as its tool ended
    EXPECT_EQ(child<QPlainTextEdit>(*consoles(form)[0], "txtOutput")->toPlainText(),
              u"to the first\n"_s);
    fake.processes.knownPrograms.clear(); // a tool not found fails once and frees the runner
    int reentered = 0;
    fake.messages.onShow = [&](const std::string &) {
        for (; reentered < 3; ++reentered)
            tick();
    };
    whenShown<shellWait>([&](shellWait &) { tick(); });
    click("cmdMonitor");
    EXPECT_TRUE(fake.processes.closed.size() == 2 && consoles(form).size() == 1 && reentered == 3);
    EXPECT_EQ(fake.messages.texts.back(), "Shell failed. Is the current directory set to the "
                                          "location of this executable?");
    form.close(); // unloading ends the tools still running
    EXPECT_THAT(fake.processes.endAsked, ElementsAre(100));
}

#ifndef _WIN32
// The real process layer with the stand-in tool, which lives beside the test program, not in the
// current folder. The batch file waits for Enter typed in its console, which stays open after
// it; closing the console of a tool that still waits ends it.
TEST(RealRunner, TheBatchFileAnswersItsConsoleAndEndsWhenTheConsoleCloses) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    auto processes = makeRealProcesses();
    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.script,   fake.script, *processes,
                      fake.folders, fake.fileDialogs, fake.messages, fake.clock};
    MainForm form(platform);
    form.state().midiInDev = form.state().midiOutDev = 0;
    child<QCheckBox>(form, "chkBat")->setChecked(true);
    auto output = [&] { return child<QPlainTextEdit>(*consoles(form).back(), "txtOutput"); };
    auto prompted = [&] {
        return QTest::qWaitFor([&] { return output()->toPlainText().contains(u"Press"_s); });
    };
    whenShown<shellWait>([&](shellWait &) {
        EXPECT_TRUE(prompted());
        QTest::keyClick(child(*consoles(form).back(), "txtInput"), Qt::Key_Return);
    });
    child<QPushButton>(form, "cmdVersion")->click();
    ASSERT_EQ(consoles(form).size(), 1);
    EXPECT_TRUE(output()->toPlainText().contains(u"Query the Ombrix modules for their version"_s));
    consoles(form).back()->close();
    whenShown<shellWait>([&](shellWait &) {
        EXPECT_TRUE(prompted());
        consoles(form).back()->close();
    });
    child<QPushButton>(form, "cmdVersion")->click(); // returns once the tool has ended
    EXPECT_TRUE(consoles(form).empty() && fake.messages.texts.empty());
    QDir::setCurrent(previous);
}
#endif

} // namespace parlet::testing_tool
