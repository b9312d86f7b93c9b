// Every tool button, driven through its controls, reaches the runner with the right command line.
#include "ToolFixture.h"
#include "tool/frmCopyReg.h"

namespace parlet::testing_tool {

class ToolCommands : public ToolTest {
  protected:
    // Clicks the button and lets the command it starts run to its end at the next timer tick.
    std::string run(const char *button) {
        endNextCommand();
        click(button);
        EXPECT_EQ(child<QLabel>(form, "lblCommand")->text().toStdString(),
                  fake.processes.started.back());
        return fake.processes.started.back();
    }
};

// Module and free options travel as typed; only the data diagnostic reads the data comparison box.
TEST_F(ToolCommands, EveryButtonSendsItsCommandWithTheControlsValues) {
    EXPECT_EQ(run("cmdDownload"), R"(korrel -i-1 -o-1   -P "")");
    fake.fileDialogs.answers = {std::string(R"(\\srv\a b.ocf)")};
    click("cmdConfigFile");
    for (const char *box : {"chkModuleOnly", "chkDebug_1", "chkDebug_8", "chkDispData", "chkBat"})
        child<QCheckBox>(form, box)->setChecked(true);
    child(form, "txtModule")->setText(u" 3 "_s);
    child(form, "txtOtherOptions")->setText(u"-q"_s);
    child(form, "txtDiagCount")->setText(u"-1"_s);
    form.state().midiOutDev = 1;
    const std::pair<const char *, const char *> buttons[] = {
        {"cmdDownload", R"(  -m 3  -q -d102 -P "\\\\srv\a b.ocf")"},
        {"cmdMonitor", " -L"},
        {"cmdReset", " -R"},
        {"cmdVersion", " -P -V"},
        {"cmdProgram", "  -m 3  -q -d102 -P -%"},
        {"cmdVerify", "  -m 3  -q -d103 -P -v"},
        {"cmdHalt", "  -m 3  -q -d102 -H"},
        {"cmdRun", "  -m 3  -q -d102 -E"},
        {"cmdDataDiag", "  -d182 -P -D-1"}};
    for (const auto &[button, options] : buttons)
        EXPECT_EQ(run(button), "korrel.bat -i-1 -o 1" + std::string(options));

    child<QCheckBox>(form, "chkBat")->setChecked(false);
    fake.fileDialogs.answers = {std::nullopt, std::string(R"(C:\x.reg)"), std::string("/r/a.reg")};
    click("cmdSaveReg");
    EXPECT_EQ(fake.processes.started.size(), 10u) << "a cancelled dialog sends nothing";
    child<QCheckBox>(form, "chkRegOnly")->click();
    EXPECT_EQ(run("cmdSaveReg"), R"(korrel -i-1 -o 1 -q -m0 -n 128 -d103 -P -S "C:\x.reg")");
    child<QCheckBox>(form, "chkRegOnly")->click(); // the range is not read without the box
    child(form, "txtRegMem")->setText(u"7"_s);
    EXPECT_EQ(run("cmdLoadReg"), R"(korrel -i-1 -o 1 -q -d103 -P -U "/r/a.reg")");
    const FileDialogRequest &save = fake.fileDialogs.shown[2].request,
                            &load = fake.fileDialogs.shown[3].request;
    EXPECT_EQ(save.filter, "All Files (*.*)|*.*|Registration Files (*.reg)|*.reg");
    // Loading starts where saving ended.
    EXPECT_TRUE(save.overwritePrompt && save.filterIndex == 2 && load.fileMustExist &&
                load.initDir == "C:");
    click("cmdConfigFile"); // cancelled; it opened where the last file was chosen
    EXPECT_EQ(fake.fileDialogs.shown.back().request.initDir, R"(\\srv)");
}

// The field left is clamped and wins, pulling the other along only when the two would cross; the
// other is never clamped, so the rules of the two fields differ where the other is out of range.
TEST_F(ToolCommands, RegistrationRangeAppliesTheRuleOfTheFieldLeft) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    child<QCheckBox>(form, "chkRegOnly")->click();
    const std::tuple<const char *, const char *, const char *, const char *> cases[] = {
        // the field left, the memories and through texts before, and after
        {"txtRegMem", "200", "100", "127|127"}, {"txtRegMem", " 7.5", " 9x", "8| 9x"},
        {"txtRegMem", "abc", "30", "0|30"},     {"txtRegThrough", "200", "127", "127|127"},
        {"txtRegThrough", "-5", "3", "-5|3"},   {"txtRegThrough", " 5", "5", " 5|5"},
        {"txtRegThrough", "0", "-99999", "0|0"}};
    for (const auto &[field, mem, through, result] : cases) {
        child(form, "txtRegMem")->setText(QString::fromUtf8(mem));
        child(form, "txtRegThrough")->setText(QString::fromUtf8(through));
        child(form, field)->setFocus();
        child(form, "txtConfigFile")->setFocus();
        EXPECT_EQ(child(form, "txtRegMem")->text() + u'|' + child(form, "txtRegThrough")->text(),
                  QString::fromUtf8(result))
            << field << " left: " << mem << '|' << through;
    }
}

// The range rule of the copy dialog's field being edited runs however OK is reached: a click
// moves the focus, Enter does not. The source field keeps its initial text until it has had the
// focus, so it must not have it when the dialog opens.
TEST_F(ToolCommands, CopyDialogAppliesTheRuleOfTheFieldLeft) {
    const std::tuple<const char *, const char *, bool, const char *> copies[] = {
        {nullptr, "", false, " -m1 -n 127 -d1 -P -C0"},
        {"txtCopyTo", "200", true, " -m127 -n 1 -d1 -P -C0"},
        {"txtCopyFrom", "300", true, " -m127 -n 1 -d1 -P -C 127"},
        {"txtCopyThrough", "5", false, " -m5 -n 1 -d1 -P -C 127"}};
    for (const auto &[field, typed, enter, options] : copies) {
        whenShown<frmCopyReg>([&](frmCopyReg &dialog) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            endNextCommand();
            if (field) { // clicked into and typed over
                QTest::mouseClick(child(dialog, field), Qt::LeftButton);
                child(dialog, field)->selectAll();
                QTest::keyClicks(child(dialog, field), QString::fromUtf8(typed));
            }
            if (enter)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            else
                QTest::mouseClick(child<QPushButton>(dialog, "cmdCopyOk"), Qt::LeftButton);
        });
        click("cmdCopyReg");
        EXPECT_EQ(fake.processes.started.back(), "korrel -i-1 -o-1 " + std::string(options));
    }
}

// The command runner: one tool process at a time behind the modal wait window, polled by the
// main window's one-second timer, each with a console window of its own.
// Escape and a second command leave the running tool's wait window up; closed by hand, it leaves
// the tool running in its console and frees the runner, which then polls only the new command.
// Ticks go on while a message box is open.
TEST_F(ToolCommands, RunOneAtATimeEachInAConsoleOfItsOwn) {
    whenShown<shellWait>([&](shellWait &window) {
        QTest::keyClick(&window, Qt::Key_Escape);
        tick();
        EXPECT_TRUE(window.isVisible());
        form.tool().sendKorrelCmd("-R"); // another path than the blocked main window
        window.close();
    });
    click("cmdMonitor");
    EXPECT_THAT(fake.messages.texts,
                testing::ElementsAre("Please exit the previous command before starting another"));
    whenShown<shellWait>([&](shellWait &) {
        fake.processes.outputHandler(100, "to the first\n", false);
        fake.processes.finishLast();
        tick();
    });
    click("cmdReset");
    tick(); // the end is handled once: no further waits or closes after it
    EXPECT_THAT(fake.processes.waited, testing::ElementsAre(100, 102));
    EXPECT_THAT(fake.processes.closed, testing::ElementsAre(103, 102));
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
    EXPECT_THAT(fake.processes.endAsked, testing::ElementsAre(100));
}

} // namespace parlet::testing_tool
