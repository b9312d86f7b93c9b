// Every tool button, driven through its controls, reaches the runner with the right command line.
#include "ModalHelpers.h"
#include "app/MainForm.h"
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

using testing_tool::whenShown;

QString qs(const char *text) {
    return QString::fromUtf8(text);
}

class ToolCommands : public testing::Test {
  protected:
    void SetUp() override {
        fake.processes.exitAtOnce = true;
        form = std::make_unique<MainForm>(fake.platform);
        form->midiInDev = 0;
        form->midiOutDev = 1;
    }

    template <typename T = QWidget> T *child(const char *name) {
        auto *found = form->findChild<T *>(qs(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void type(const char *field, const char *text) { child<QLineEdit>(field)->setText(qs(text)); }
    void tick(const char *box) { child<QCheckBox>(box)->setChecked(true); }

    // Clicks the button and lets the command it starts run to its end at the next timer tick.
    std::string run(const char *button) {
        const auto before = fake.processes.started.size();
        whenShown<shellWait>([this](shellWait &) { form->seqTimer_Timer(); });
        child<QPushButton>(button)->click();
        if (fake.processes.started.size() != before + 1) {
            ADD_FAILURE() << button << " started no command";
            return {};
        }
        EXPECT_EQ(child<QLabel>("lblCommand")->text().toStdString(), fake.processes.started.back());
        return fake.processes.started.back();
    }

    fakes::FakePlatform fake;
    std::unique_ptr<MainForm> form;
};

void typeInto(MainForm &form, const char *field, const char *text) {
    form.findChild<QLineEdit *>(qs(field))->setText(qs(text));
}

void tickIn(MainForm &form, const char *box) {
    form.findChild<QCheckBox *>(qs(box))->setChecked(true);
}

struct ButtonCase {
    const char *name;
    std::function<void(MainForm &)> setup;
    const char *button;
    const char *line;
};

void PrintTo(const ButtonCase &c, std::ostream *os) {
    *os << c.name;
}

class ToolButtons : public ToolCommands, public testing::WithParamInterface<ButtonCase> {};

TEST_P(ToolButtons, StartTheirCommandLine) {
    GetParam().setup(*form);
    EXPECT_EQ(run(GetParam().button), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ToolButtons,
    testing::Values(
        ButtonCase{"VersionKeepWindowOpen",
                   [](MainForm &f) {
                       tickIn(f, "chkBat");
                       f.midiOutDev = 0;
                   },
                   "cmdVersion", "korrel.bat -i 0 -o 0 -P -V"},
        ButtonCase{"Monitor", [](MainForm &f) { tickIn(f, "chkModuleOnly"); }, "cmdMonitor",
                   "korrel -i 0 -o 1 -L"},
        ButtonCase{"ResetNoInput", [](MainForm &f) { f.midiInDev = -1; }, "cmdReset",
                   "korrel -i-1 -o 1 -R"},
        ButtonCase{"HaltDefaults", [](MainForm &) {}, "cmdHalt", "korrel -i 0 -o 1   -H"},
        ButtonCase{"RunModuleAndFreeOptions",
                   [](MainForm &f) {
                       tickIn(f, "chkModuleOnly");
                       typeInto(f, "txtModule", "2");
                       typeInto(f, "txtOtherOptions", "-q");
                   },
                   "cmdRun", "korrel -i 0 -o 1  -m2 -q -E"},
        ButtonCase{"VerifyModule3",
                   [](MainForm &f) {
                       tickIn(f, "chkModuleOnly");
                       typeInto(f, "txtModule", "3");
                   },
                   "cmdVerify", "korrel -i 0 -o 1  -m3  -d1 -P -v"},
        ButtonCase{"ProgramParserDetails", [](MainForm &f) { tickIn(f, "chkDebug_8"); },
                   "cmdProgram", "korrel -i 0 -o 1   -d100 -P -%"},
        ButtonCase{"DiagBothDataBits",
                   [](MainForm &f) {
                       tickIn(f, "chkDebug_7");
                       tickIn(f, "chkDispData");
                       tickIn(f, "chkModuleOnly");
                   },
                   "cmdDataDiag", "korrel -i 0 -o 1  -d80 -P -D10"},
        ButtonCase{"DiagForever", [](MainForm &f) { typeInto(f, "txtDiagCount", "-1"); },
                   "cmdDataDiag", "korrel -i 0 -o 1  -P -D-1"},
        ButtonCase{"DownloadNoConfigFile", [](MainForm &) {}, "cmdDownload",
                   R"(korrel -i 0 -o 1   -P "")"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ToolCommands, ConfigFileChooserFeedsDownload) {
    fake.fileDialogs.answers = {std::nullopt, std::string(R"(\\srv\cfg\a.ocf)")};
    child<QPushButton>("cmdConfigFile")->click(); // cancelled: nothing changes
    EXPECT_EQ(child<QLineEdit>("txtConfigFile")->text(), QString());
    child<QPushButton>("cmdConfigFile")->click();
    ASSERT_EQ(fake.fileDialogs.shown.size(), 2u);
    const auto &request = fake.fileDialogs.shown[1].request;
    EXPECT_FALSE(fake.fileDialogs.shown[1].save);
    EXPECT_EQ(request.filter, "All Files (*.*)|*.*|Ombrix Configuration Files (*.ocf)|*.ocf");
    EXPECT_EQ(request.filterIndex, 2);
    EXPECT_EQ(request.fileName, "");
    EXPECT_EQ(child<QLineEdit>("txtConfigFile")->text(), qs(R"(\\srv\cfg\a.ocf)"));
    EXPECT_EQ(run("cmdDownload"), R"(korrel -i 0 -o 1   -P "\\\\srv\cfg\a.ocf")");

    fake.fileDialogs.answers = {std::string("/home/u/My Configs/b.ocf")};
    child<QPushButton>("cmdConfigFile")->click();
    EXPECT_EQ(fake.fileDialogs.shown.back().request.initDir, R"(\\srv\cfg)");
    tick("chkDebug_0");
    tick("chkDebug_4");
    EXPECT_EQ(run("cmdDownload"), R"(korrel -i 0 -o 1   -d11 -P "/home/u/My Configs/b.ocf")");
}

TEST_F(ToolCommands, SaveAndLoadRegistration) {
    fake.fileDialogs.answers = {std::string("/home/u/regs/a b.reg")};
    type("txtRegMem", "7"); // not read while the range box is not ticked
    EXPECT_EQ(run("cmdSaveReg"), R"(korrel -i 0 -o 1  -d1 -P -S "/home/u/regs/a b.reg")");
    const auto save = fake.fileDialogs.shown.back();
    EXPECT_TRUE(save.save);
    EXPECT_TRUE(save.request.overwritePrompt);
    EXPECT_EQ(save.request.filter, "All Files (*.*)|*.*|Registration Files (*.reg)|*.reg");
    EXPECT_EQ(save.request.filterIndex, 2);

    type("txtRegMem", "0");
    child<QCheckBox>("chkRegOnly")->click();
    fake.fileDialogs.answers = {std::string(R"(C:\x.reg)")};
    EXPECT_EQ(run("cmdSaveReg"), R"(korrel -i 0 -o 1  -m0 -n 128 -d1 -P -S "C:\x.reg")");
    // The second dialog starts where the first one ended.
    EXPECT_EQ(fake.fileDialogs.shown.back().request.initDir, "/home/u/regs");
    EXPECT_EQ(fake.fileDialogs.shown.back().request.fileName, "/home/u/regs/a b.reg");

    type("txtRegMem", "5");
    type("txtRegThrough", "5");
    type("txtOtherOptions", "-q");
    tick("chkDebug_2");
    fake.fileDialogs.answers = {std::string("r.reg")};
    EXPECT_EQ(run("cmdLoadReg"), R"(korrel -i 0 -o 1 -q -m5 -n 1 -d5 -P -U "r.reg")");
    const auto load = fake.fileDialogs.shown.back();
    EXPECT_FALSE(load.save);
    EXPECT_TRUE(load.request.fileMustExist);
    EXPECT_EQ(load.request.initDir, "C:");
}

TEST_F(ToolCommands, CancelledRegistrationDialogSendsNothing) {
    fake.fileDialogs.answers = {std::nullopt, std::nullopt};
    child<QPushButton>("cmdSaveReg")->click();
    child<QPushButton>("cmdLoadReg")->click();
    EXPECT_TRUE(fake.processes.started.empty());
    fake.fileDialogs.answers = {std::string("/a/b.reg")};
    run("cmdLoadReg");
    EXPECT_EQ(fake.fileDialogs.shown.back().request.initDir, "");
}

TEST_F(ToolCommands, RangeBoxEnablesTheRangeFields) {
    auto *box = child<QCheckBox>("chkRegOnly");
    auto *first = child<QLineEdit>("txtRegMem");
    auto *last = child<QLineEdit>("txtRegThrough");
    EXPECT_FALSE(first->isEnabled());
    box->click();
    EXPECT_TRUE(first->isEnabled());
    EXPECT_TRUE(last->isEnabled());
    first->setText(qs("12"));
    box->click();
    EXPECT_FALSE(last->isEnabled());
    EXPECT_EQ(first->text(), qs("12"));
}

// Moves the keyboard focus from `field` to `next`, as the user's Tab key or mouse would.
void leave(QWidget *field, QWidget *next) {
    field->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(field->hasFocus());
    next->setFocus(Qt::TabFocusReason);
}

TEST_F(ToolCommands, RangeRulesRunWhenAFieldLosesTheFocus) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    child<QCheckBox>("chkRegOnly")->click();
    auto *first = child<QLineEdit>("txtRegMem");
    auto *last = child<QLineEdit>("txtRegThrough");
    auto *elsewhere = child<QLineEdit>("txtOtherOptions");
    struct Case {
        const char *first;
        const char *last;
        bool leaveFirst;
        const char *firstAfter;
        const char *lastAfter;
    } cases[] = {
        {"200", "50", true, "127", "127"},
        {"20", "10", false, "10", "10"},
        {"40", "300", true, "40", "300"}, // the other field is not clamped
    };
    for (const auto &c : cases) {
        first->setText(qs(c.first));
        last->setText(qs(c.last));
        leave(c.leaveFirst ? first : last, elsewhere);
        EXPECT_EQ(first->text(), qs(c.firstAfter)) << c.first << " " << c.last;
        EXPECT_EQ(last->text(), qs(c.lastAfter)) << c.first << " " << c.last;
    }
    // Switching to another application is not a loss of focus for the rule.
    first->setText(qs("500"));
    first->setFocus();
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(first, &away);
    EXPECT_EQ(first->text(), qs("500"));
}

TEST_F(ToolCommands, CopyDialogBeforeAndAfterTheSourceFieldLostTheFocus) {
    std::vector<std::string> lines;
    auto copyOnce = [&](std::function<void(frmCopyReg &)> edit) {
        whenShown<frmCopyReg>([&, edit](frmCopyReg &dialog) {
            EXPECT_EQ(dialog.windowTitle(), qs("Copy Registration"));
            edit(dialog);
            whenShown<shellWait>([this](shellWait &) { form->seqTimer_Timer(); });
            dialog.findChild<QPushButton *>(qs("cmdCopyOk"))->click();
            EXPECT_FALSE(dialog.isVisible());
        });
        child<QPushButton>("cmdCopyReg")->click();
        lines.push_back(fake.processes.started.empty() ? "" : fake.processes.started.back());
    };
    copyOnce([](frmCopyReg &) {});
    copyOnce([](frmCopyReg &dialog) {
        auto *from = dialog.findChild<QLineEdit *>(qs("txtCopyFrom"));
        auto *to = dialog.findChild<QLineEdit *>(qs("txtCopyTo"));
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        leave(from, to); // the text "0" does not change, the rule runs all the same
        EXPECT_EQ(from->text(), qs(" 0"));
    });
    copyOnce([](frmCopyReg &dialog) {
        auto *from = dialog.findChild<QLineEdit *>(qs("txtCopyFrom"));
        auto *to = dialog.findChild<QLineEdit *>(qs("txtCopyTo"));
        auto *through = dialog.findChild<QLineEdit *>(qs("txtCopyThrough"));
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
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
    EXPECT_THAT(lines, testing::ElementsAre("korrel -i 0 -o 1  -m1 -n 127 -d1 -P -C0",
                                            "korrel -i 0 -o 1  -m1 -n 127 -d1 -P -C 0",
                                            "korrel -i 0 -o 1  -m10 -n 1 -d1 -P -C 127"));
}

TEST_F(ToolCommands, CopyCancelSendsNothingAndKeepsTheFields) {
    whenShown<frmCopyReg>([](frmCopyReg &dialog) {
        dialog.findChild<QLineEdit *>(qs("txtCopyTo"))->setText(qs("9"));
        dialog.findChild<QPushButton *>(qs("CancelButton"))->click();
    });
    child<QPushButton>("cmdCopyReg")->click();
    EXPECT_TRUE(fake.processes.started.empty());
    whenShown<frmCopyReg>([](frmCopyReg &dialog) {
        EXPECT_EQ(dialog.findChild<QLineEdit *>(qs("txtCopyTo"))->text(), qs("9"));
        dialog.close();
    });
    child<QPushButton>("cmdCopyReg")->click();
}

TEST_F(ToolCommands, SequencerOpensItsWindowModally) {
    bool shown = false;
    whenShown<frmSeq>([&](frmSeq &window) {
        shown = true;
        EXPECT_EQ(window.windowTitle(), qs("Sequencer"));
        window.close();
    });
    child<QPushButton>("cmdSequencer")->click();
    EXPECT_TRUE(shown);
}

} // namespace
} // namespace parlet
