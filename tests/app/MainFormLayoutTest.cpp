#include "AppFixture.h"
#include "ui_MainForm.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

namespace parlet {
namespace {

using testing_support::AppFixture;

struct Control {
    const char *tab; // object name of the tab page; "" for outside the tabs
    const char *name;
    const char *text; // caption, title or initial text
    const char *toolTip;
};

const char *const download = "tabDownload";
const char *const advanced = "tabAdvanced";
const char *const diagnostic = "tabDiagnostic";

// Every control of the window as the user meets it.
const Control controls[] = {
    {download, "Label1", "MIDI Input Device:", ""},
    {download, "txtMidiIn", "", "MIDI Input Device"},
    {download, "cmdMidiIn", "Change", "Change the MIDI Input Device"},
    {download, "Label2", "MIDI Output Device:", ""},
    {download, "txtMidiOut", "", "MIDI Output Device"},
    {download, "cmdMidiOut", "Change", "Change the MIDI Output Device"},
    {download, "Label3", "Configuration File:", ""},
    {download, "txtConfigFile", "", "Ombrix Configuration File"},
    {download, "cmdConfigFile", "Change", "Select the Ombrix Configuration File"},
    {download, "cmdDownload", "&Download", "Download Configuration to Ombrix System"},
    {download, "cmdMonitor", "&Monitor", "Monitor MIDI Messages"},
    {download, "cmdReset", "&Reset",
     "Send a reset to the MIDI output, which causes all Ombrix devices to reset"},
    {download, "cmdVersion", "&Version", "Query Ombrix Modules for Version Info"},
    {download, "cmdSequencer", "Sequencer", ""},
    {download, "SeqPlay", "Play", ""},
    {download, "SeqRec", "Record", ""},
    {download, "Label10", "Parlet Version A.3.1.7b", ""},
    {download, "Frame2", "Registration", ""},
    {download, "txtRegMem", "0", ""},
    {download, "Label12", "Through", ""},
    {download, "txtRegThrough", "127", ""},
    {download, "Label11", "Memories", ""},
    {download, "chkRegOnly", "Only Save/Load", ""},
    {download, "cmdSaveReg", "Save Registration to File", "Save Registraion to File"},
    {download, "cmdLoadReg", "Load Registration from File", "Load Registration from File"},
    {download, "cmdCopyReg", "Copy Registration", ""},
    {advanced, "Label8", "Module", ""},
    {advanced, "txtModule", "0", ""},
    {advanced, "chkModuleOnly", "Start at selected module", ""},
    {advanced, "Label9", "Other Options", ""},
    {advanced, "txtOtherOptions", "", ""},
    {advanced, "cmdProgram", "&Program Executive", "Update the Program in Ombrix Modules"},
    {advanced, "cmdVerify", "&Verify Executive", "Verify the Program in Ombrix modules"},
    {advanced, "cmdHalt", "Halt", ""},
    {advanced, "cmdRun", "Run", ""},
    {advanced, "chkBat", "Keep command window open", ""},
    {advanced, "Frame1", "Debug display", ""},
    {advanced, "chkDebug_0", "Progress", ""},
    {advanced, "chkDebug_1", "Sysex info", ""},
    {advanced, "chkDebug_2", "Size logic", ""},
    {advanced, "chkDebug_3", "Hex program", ""},
    {advanced, "chkDebug_4", "Config regurgitate", ""},
    {advanced, "chkDebug_5", "Disassemble program", ""},
    {advanced, "chkDebug_6", "Sysex in hex", ""},
    {advanced, "chkDebug_7", "Show pgm/verify in chars", ""},
    {advanced, "chkDebug_8", "Parser Details", ""},
    {advanced, "lblCommand", "", ""},
    {diagnostic, "Label5",
     "Clicking the button above will cause short messages with random data to be sent around "
     "the MIDI loop. Each Ombrix module will analyze this data, and indicate whether it is valid "
     "by turning off its LED if the data is valid, or turning on its LED if the data has been "
     "corrupted. As the data returns to the computer, it will be compared with the original "
     "data, and an error message displayed if it differs.",
     ""},
    {diagnostic, "cmdDataDiag", "Run Data Diagnostic", "Click to send random data messages"},
    {diagnostic, "Label4", "Repeat Count", ""},
    {diagnostic, "txtDiagCount", "10", "Enter the number of messages to send"},
    {diagnostic, "Label6",
     "Use the repeat count to select how many messages to send. Setting to -1 will repeat "
     "indefinitely.",
     ""},
    {diagnostic, "chkDispData", "Display data comparison", "Check for extended error information"},
    {diagnostic, "Label7",
     "Checking the \"Display data comparison\" box will cause the computer to print the hex "
     "values of any data which differs between what was sent and what was received.",
     ""},
    {"", "cmdExit", "E&xit", "Exit this program"},
};

QString textOf(const QWidget *widget) {
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    return QStringLiteral("<no text>");
}

class MainFormLayout : public AppFixture {};

TEST_F(MainFormLayout, EveryControlSitsOnItsTabWithItsTexts) {
    MainForm &form = makeForm();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Ombrix Configuration"));
    auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("tabs"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    const char *pages[] = {download, advanced, diagnostic};
    const char *titles[] = {"Download", "Advanced", "Diagnostic"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName().toStdString(), pages[i]);
        EXPECT_EQ(tabs->tabText(i).toStdString(), titles[i]);
    }
    EXPECT_EQ(tabs->currentIndex(), 0);

    for (const Control &c : controls) {
        SCOPED_TRACE(c.name);
        auto *widget = form.findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        QWidget *page = *c.tab ? form.findChild<QWidget *>(QString::fromLatin1(c.tab)) : nullptr;
        if (page)
            EXPECT_TRUE(page->isAncestorOf(widget));
        else
            EXPECT_FALSE(tabs->isAncestorOf(widget));
        EXPECT_EQ(textOf(widget).toStdString(), c.text);
        EXPECT_EQ(widget->toolTip().toStdString(), c.toolTip);
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            EXPECT_FALSE(box->isChecked());
        }
    }
    // The range fields wait for "Only Save/Load".
    EXPECT_FALSE(form.ui().txtRegMem->isEnabled());
    EXPECT_FALSE(form.ui().txtRegThrough->isEnabled());
}

TEST_F(MainFormLayout, EveryTextBoxIsNamedByItsLabel) {
    MainForm &form = makeForm();
    std::set<QWidget *> labelled;
    for (QLabel *label : form.findChildren<QLabel *>())
        if (label->buddy())
            labelled.insert(label->buddy());
    for (QLineEdit *edit : form.findChildren<QLineEdit *>()) {
        SCOPED_TRACE(edit->objectName().toStdString());
        EXPECT_TRUE(labelled.count(edit));
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(edit);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty());
    }
    auto name = [](QWidget *w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString();
    };
    EXPECT_EQ(name(form.ui().txtMidiIn), "MIDI Input Device:");
    EXPECT_EQ(name(form.ui().txtDiagCount), "Repeat Count");
    EXPECT_EQ(name(form.ui().txtRegMem), "Memories");
}

TEST_F(MainFormLayout, MnemonicsClickTheirButtonsOnTheTabShown) {
    struct Case {
        int tab;
        Qt::Key key;
        const char *button;
    };
    const Case cases[] = {
        {0, Qt::Key_D, "cmdDownload"}, {0, Qt::Key_M, "cmdMonitor"}, {0, Qt::Key_R, "cmdReset"},
        {0, Qt::Key_V, "cmdVersion"},  {1, Qt::Key_P, "cmdProgram"}, {1, Qt::Key_V, "cmdVerify"},
        {2, Qt::Key_X, "cmdExit"},
    };
    fake.devices.inputs = {"In"};
    fake.devices.outputs = {"Out"};
    MainForm &form = makeForm();
    ASSERT_TRUE(form.Form_Load());
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.button);
        form.ui().tabs->setCurrentIndex(c.tab);
        auto *button = form.findChild<QAbstractButton *>(QString::fromLatin1(c.button));
        // Only the click is of interest here, not the command behind it.
        QObject::disconnect(button, &QAbstractButton::clicked, &form, nullptr);
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QTest::keyClick(&form, c.key, Qt::AltModifier);
        // A mnemonic presses the button visibly; the click follows a moment later.
        EXPECT_TRUE(clicked.count() == 1 || clicked.wait(2000));
    }
}

TEST_F(MainFormLayout, NothingTicksWhileIdle) {
    fake.devices.inputs = {"In"};
    fake.devices.outputs = {"Out"};
    MainForm &form = makeForm();
    ASSERT_TRUE(form.Form_Load());
    form.show();
    EXPECT_FALSE(form.seqTimer().isActive());
    EXPECT_EQ(form.seqTimer().interval(), 0);
    for (QTimer *timer : form.findChildren<QTimer *>())
        EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();
}

} // namespace
} // namespace parlet
