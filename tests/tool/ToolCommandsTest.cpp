// Every tool button, driven through its controls, reaches the runner with the right command line.
#include "ModalHelpers.h"
#include "app/MainForm.h"
#include "tool/ToolFrontEnd.h"
#include "common/ToolOptions.h"
#include "fakes/FakePlatform.h"
#include "sequencer/frmSeq.h"
#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

namespace parlet {
namespace {

using namespace options;
using testing_tool::whenShown;

QString qs(const char *text) {
    return QString::fromUtf8(text);
}

// Moves the keyboard focus from `field` to `next`, as the user's Tab key or mouse would.
void leave(QWidget *field, QWidget *next) {
    field->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(field->hasFocus());
    next->setFocus(Qt::TabFocusReason);
}

class ToolCommands : public testing::Test {
  protected:
    ToolCommands() : form(fake.platform) {
        fake.processes.exitAtOnce = true;
        form.state().midiInDev = 0;
        form.state().midiOutDev = 1;
    }
    template <typename T = QLineEdit> T *child(const char *name) {
        return form.findChild<T *>(qs(name));
    }
    void type(const char *field, const char *text) { child(field)->setText(qs(text)); }
    void tick(const char *box) { child<QCheckBox>(box)->setChecked(true); }
    void click(const char *button) { child<QPushButton>(button)->click(); }

    // Clicks the button and lets the command it starts run to its end at the next timer tick.
    std::string run(const char *button) {
        const auto before = fake.processes.started.size();
        whenShown<shellWait>([this](shellWait &) { form.seqTimer().seqTimer_Timer(); });
        click(button);
        if (fake.processes.started.size() != before + 1)
            return "(nothing started)";
        EXPECT_EQ(child<QLabel>("lblCommand")->text().toStdString(), fake.processes.started.back());
        return fake.processes.started.back();
    }

    fakes::FakePlatform fake;
    MainForm form;
};

// The lines themselves are checked against literals in the option builders' table; here each
// button must build its own command from what the controls hold.
TEST_F(ToolCommands, EachButtonSendsItsCommandWithTheControlsValues) {
    const std::pair<const char *, ToolCommand> buttons[] = {
        {"cmdDownload", ToolCommand::Download}, {"cmdMonitor", ToolCommand::Monitor},
        {"cmdReset", ToolCommand::Reset},       {"cmdVersion", ToolCommand::Version},
        {"cmdProgram", ToolCommand::Program},   {"cmdVerify", ToolCommand::Verify},
        {"cmdHalt", ToolCommand::Halt},         {"cmdRun", ToolCommand::Run},
        {"cmdDataDiag", ToolCommand::DataDiag},
    };
    ToolFields fields;
    for (const auto &[button, command] : buttons)
        EXPECT_EQ(run(button), toolCommandLine(false, 0, 1, toolOptions(command, fields)));

    fake.fileDialogs.answers = {std::string("/home/u/a b.ocf")};
    click("cmdConfigFile");
    tick("chkModuleOnly");
    type("txtModule", "3");
    type("txtOtherOptions", "-q");
    tick("chkDebug_0");
    tick("chkDebug_8");
    tick("chkDispData");
    type("txtDiagCount", "-1");
    tick("chkBat");
    form.state().midiInDev = -1;
    // clang-format off
    fields = {.debug = {{true, false, false, false, false, false, false, false, true}},
              .moduleOnly = true, .module = "3", .otherOptions = "-q", .dispData = true,
              .diagCount = "-1", .cfgFile = "/home/u/a b.ocf"};
    // clang-format on
    for (const auto &[button, command] : buttons)
        EXPECT_EQ(run(button), toolCommandLine(true, -1, 1, toolOptions(command, fields)));
}

TEST_F(ToolCommands, ConfigFileChooserFeedsDownload) {
    fake.fileDialogs.answers = {std::nullopt, std::string(R"(\\srv\cfg\a.ocf)")};
    click("cmdConfigFile"); // cancelled: nothing changes
    EXPECT_EQ(child("txtConfigFile")->text(), QString());
    click("cmdConfigFile");
    const auto &shown = fake.fileDialogs.shown.back();
    EXPECT_FALSE(shown.save);
    EXPECT_EQ(shown.request.filter, "All Files (*.*)|*.*|Ombrix Configuration Files (*.ocf)|*.ocf");
    EXPECT_EQ(shown.request.filterIndex, 2);
    EXPECT_EQ(child("txtConfigFile")->text(), qs(R"(\\srv\cfg\a.ocf)"));
    EXPECT_EQ(run("cmdDownload"), R"(korrel -i 0 -o 1   -P "\\\\srv\cfg\a.ocf")");
}

TEST_F(ToolCommands, SaveAndLoadRegistration) {
    fake.fileDialogs.answers = {std::nullopt, std::nullopt};
    click("cmdSaveReg");
    click("cmdLoadReg");
    EXPECT_TRUE(fake.processes.started.empty()) << "a cancelled dialog sends nothing";

    EXPECT_FALSE(child("txtRegMem")->isEnabled());
    child<QCheckBox>("chkRegOnly")->click();
    EXPECT_TRUE(child("txtRegMem")->isEnabled() && child("txtRegThrough")->isEnabled());
    type("txtRegMem", "0");
    fake.fileDialogs.answers = {std::string(R"(C:\x.reg)")};
    EXPECT_EQ(run("cmdSaveReg"), R"(korrel -i 0 -o 1  -m0 -n 128 -d1 -P -S "C:\x.reg")");
    const auto save = fake.fileDialogs.shown.back();
    EXPECT_TRUE(save.save && save.request.overwritePrompt);
    EXPECT_EQ(save.request.filter, "All Files (*.*)|*.*|Registration Files (*.reg)|*.reg");

    child<QCheckBox>("chkRegOnly")->click(); // the range is not read without the box
    fake.fileDialogs.answers = {std::string("/r/a b.reg")};
    EXPECT_EQ(run("cmdLoadReg"), R"(korrel -i 0 -o 1  -d1 -P -U "/r/a b.reg")");
    EXPECT_TRUE(fake.fileDialogs.shown.back().request.fileMustExist);
    // The second dialog starts where the first one ended.
    EXPECT_EQ(fake.fileDialogs.shown.back().request.initDir, "C:");
}

TEST_F(ToolCommands, RangeRulesRunWhenAFieldLosesTheFocus) {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    child<QCheckBox>("chkRegOnly")->click();
    auto *first = child("txtRegMem");
    auto *last = child("txtRegThrough");
    first->setText(qs("200"));
    last->setText(qs("50"));
    leave(first, child("txtOtherOptions"));
    EXPECT_EQ(first->text() + last->text(), qs("127127"));
    last->setText(qs("10"));
    leave(last, child("txtOtherOptions"));
    EXPECT_EQ(first->text() + last->text(), qs("1010"));
    // Switching to another application is not a loss of focus for the rule.
    first->setText(qs("500"));
    first->setFocus();
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(first, &away);
    EXPECT_EQ(first->text(), qs("500"));
}

TEST_F(ToolCommands, CopyDialogBeforeAndAfterTheSourceFieldLostTheFocus) {
    whenShown<frmCopyReg>([](frmCopyReg &dialog) {
        EXPECT_EQ(dialog.windowTitle(), qs("Copy Registration"));
        dialog.findChild<QPushButton *>(qs("CancelButton"))->click();
    });
    click("cmdCopyReg");
    EXPECT_TRUE(fake.processes.started.empty());

    auto copyOnce = [&](std::function<void(QLineEdit *, QLineEdit *, QLineEdit *)> edit) {
        whenShown<frmCopyReg>([&, edit](frmCopyReg &dialog) {
            dialog.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
            edit(dialog.findChild<QLineEdit *>(qs("txtCopyFrom")),
                 dialog.findChild<QLineEdit *>(qs("txtCopyTo")),
                 dialog.findChild<QLineEdit *>(qs("txtCopyThrough")));
            whenShown<shellWait>([this](shellWait &) { form.seqTimer().seqTimer_Timer(); });
            dialog.findChild<QPushButton *>(qs("cmdCopyOk"))->click();
        });
        click("cmdCopyReg");
    };
    copyOnce([](QLineEdit *, QLineEdit *, QLineEdit *) {});
    copyOnce([](QLineEdit *from, QLineEdit *to, QLineEdit *) {
        leave(from, to); // the text "0" does not change, the rule runs all the same
        EXPECT_EQ(from->text(), qs(" 0"));
    });
    copyOnce([](QLineEdit *from, QLineEdit *to, QLineEdit *through) {
        from->setText(qs("300"));
        leave(from, to);
        to->setText(qs("90"));
        through->setText(qs("20"));
        leave(to, through);
        EXPECT_EQ(through->text(), qs("90"));
        through->setText(qs("10"));
        leave(through, from);
        EXPECT_EQ(to->text(), qs("10"));
    });
    EXPECT_THAT(fake.processes.started,
                testing::ElementsAre("korrel -i 0 -o 1  -m1 -n 127 -d1 -P -C0",
                                     "korrel -i 0 -o 1  -m1 -n 127 -d1 -P -C 0",
                                     "korrel -i 0 -o 1  -m10 -n 1 -d1 -P -C 127"));
}

TEST_F(ToolCommands, SequencerOpensItsWindowModally) {
    bool shown = false;
    whenShown<frmSeq>([&](frmSeq &window) {
        shown = window.windowTitle() == qs("Sequencer");
        window.close();
    });
    click("cmdSequencer");
    EXPECT_TRUE(shown);
}

} // namespace
} // namespace parlet
