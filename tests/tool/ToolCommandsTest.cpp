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

TEST_F(ToolCommands, EachButtonSendsItsCommandWithTheControlsValues) {
    fake.fileDialogs.answers = {std::nullopt, std::string(R"(\\srv\a b.ocf)")};
    click("cmdConfigFile"); // cancelled: nothing changes
    EXPECT_EQ(child(form, "txtConfigFile")->text(), QString());
    click("cmdConfigFile");
    EXPECT_EQ(fake.fileDialogs.shown.back().request.filter,
              "All Files (*.*)|*.*|Ombrix Configuration Files (*.ocf)|*.ocf");
    for (const char *box : {"chkModuleOnly", "chkDebug_1", "chkDebug_8", "chkDispData", "chkBat"})
        child<QCheckBox>(form, box)->setChecked(true);
    child(form, "txtModule")->setText(qs("3"));
    child(form, "txtOtherOptions")->setText(qs("-q"));
    child(form, "txtDiagCount")->setText(qs("-1"));
    form.state().midiInDev = -1;
    const std::pair<const char *, const char *> buttons[] = {
        {"cmdDownload", R"(  -m3 -q -d102 -P "\\\\srv\a b.ocf")"},
        {"cmdMonitor", " -L"},
        {"cmdReset", " -R"},
        {"cmdVersion", " -P -V"},
        {"cmdProgram", "  -m3 -q -d102 -P -%"},
        {"cmdVerify", "  -m3 -q -d103 -P -v"},
        {"cmdHalt", "  -m3 -q -d102 -H"},
        {"cmdRun", "  -m3 -q -d102 -E"},
        {"cmdDataDiag", "  -d182 -P -D-1"},
    };
    for (const auto &[button, options] : buttons)
        EXPECT_EQ(run(button), "korrel.bat -i-1 -o 1" + std::string(options));
}

TEST_F(ToolCommands, SaveAndLoadRegistration) {
    fake.fileDialogs.answers = {std::nullopt, std::string(R"(C:\x.reg)"), std::string("/r/a.reg")};
    click("cmdSaveReg");
    EXPECT_TRUE(fake.processes.started.empty()) << "a cancelled dialog sends nothing";
    child<QCheckBox>(form, "chkRegOnly")->click();
    EXPECT_EQ(run("cmdSaveReg"), R"(korrel -i 0 -o 1  -m0 -n 128 -d1 -P -S "C:\x.reg")");
    const auto save = fake.fileDialogs.shown.back();
    EXPECT_TRUE(save.save && save.request.overwritePrompt && save.request.filterIndex == 2);
    EXPECT_EQ(save.request.filter, "All Files (*.*)|*.*|Registration Files (*.reg)|*.reg");
    child<QCheckBox>(form, "chkRegOnly")->click(); // the range is not read without the box
    child(form, "txtRegMem")->setText(qs("7"));
    EXPECT_EQ(run("cmdLoadReg"), R"(korrel -i 0 -o 1  -d1 -P -U "/r/a.reg")");
    const auto load = fake.fileDialogs.shown.back();
    EXPECT_TRUE(load.request.fileMustExist && load.request.initDir == "C:"); // where saving ended
}

// The range rules run as the user leaves a field, by Tab or mouse. In the copy dialog, the rule of
// the field being edited also runs when Enter presses OK; the source field keeps its initial text
// until it has had the focus.
TEST_F(ToolCommands, RangeRulesRunAsTheUserLeavesAField) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    child<QCheckBox>(form, "chkRegOnly")->click();
    QLineEdit *first = child(form, "txtRegMem"), *last = child(form, "txtRegThrough");
    QTest::mouseClick(first, Qt::LeftButton);
    QTest::keyClicks(first, qs("200"));
    QTest::keyClick(first, Qt::Key_Tab);
    EXPECT_EQ(first->text() + last->text(), qs("127127"));
    last->selectAll();
    QTest::keyClicks(last, qs("10"));
    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(first->text() + last->text(), qs("1010"));

    const std::tuple<const char *, const char *, bool, const char *> copies[] = {
        {"", "", false, " -m1 -n 127 -d1 -P -C0"},
        {"txtCopyTo", "200", true, " -m127 -n 1 -d1 -P -C0"},
        {"txtCopyFrom", "300", true, " -m127 -n 1 -d1 -P -C 127"},
        {"txtCopyThrough", "5", false, " -m5 -n 1 -d1 -P -C 127"},
    };
    for (const auto &[name, typed, enter, options] : copies) {
        whenShown<frmCopyReg>([&](frmCopyReg &dialog) {
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            endNextCommand();
            if (QLineEdit *field = *name ? child(dialog, name) : nullptr) {
                QTest::mouseClick(field, Qt::LeftButton);
                field->selectAll();
                QTest::keyClicks(field, qs(typed));
            }
            if (enter)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            else
                QTest::mouseClick(child<QPushButton>(dialog, "cmdCopyOk"), Qt::LeftButton);
        });
        click("cmdCopyReg");
        EXPECT_EQ(fake.processes.started.back(), "korrel -i 0 -o 1 " + std::string(options));
    }
}

} // namespace parlet::testing_tool
