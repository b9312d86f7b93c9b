#include "AppFixture.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QTabWidget>

namespace parlet {
namespace {

// Per tab page ("" = outside the tabs): "name|caption, title or initial text|tool tip;...".
const std::pair<const char *, const char *> pages[] = {
    {"tabDownload",
     "Label1|MIDI Input Device:;txtMidiIn||MIDI Input Device;cmdMidiIn|Change|Change the MIDI "
     "Input Device;Label2|MIDI Output Device:;txtMidiOut||MIDI Output Device;"
     "cmdMidiOut|Change|Change the MIDI Output Device;Label3|Configuration File:;"
     "txtConfigFile||Ombrix Configuration File;cmdConfigFile|Change|Select the Ombrix "
     "Configuration File;cmdDownload|&Download|Download Configuration to Ombrix System;"
     "cmdMonitor|&Monitor|Monitor MIDI Messages;cmdReset|&Reset|Send a reset to the MIDI "
     "output, which causes all Ombrix devices to reset;cmdVersion|&Version|Query Ombrix Modules "
     "for Version Info;cmdSequencer|Sequencer;SeqPlay|Play;SeqRec|Record;Label10|Parlet Version "
     "A.3.1.7b;Frame2|Registration;txtRegMem|0;Label12|Through;txtRegThrough|127;"
     "Label11|Memories;chkRegOnly|Only Save/Load;cmdSaveReg|Save Registration to File|Save "
     "Registraion to File;cmdLoadReg|Load Registration from File|Load Registration from File;"
     "cmdCopyReg|Copy Registration"},
    {"tabAdvanced",
     "Label8|Module;txtModule|0;chkModuleOnly|Start at selected module;Label9|Other Options;"
     "txtOtherOptions|;cmdProgram|&Program Executive|Update the Program in Ombrix Modules;"
     "cmdVerify|&Verify Executive|Verify the Program in Ombrix modules;cmdHalt|Halt;cmdRun|Run;"
     "chkBat|Keep command window open;Frame1|Debug display;chkDebug_0|Progress;chkDebug_1|Sysex "
     "info;chkDebug_2|Size logic;chkDebug_3|Hex program;chkDebug_4|Config regurgitate;"
     "chkDebug_5|Disassemble program;chkDebug_6|Sysex in hex;chkDebug_7|Show pgm/verify in "
     "chars;chkDebug_8|Parser Details;lblCommand|"},
    {"tabDiagnostic",
     "Label5|Clicking the button above will cause short messages with random data to be sent "
     "around the MIDI loop. Each Ombrix module will analyze this data, and indicate whether it "
     "is valid by turning off its LED if the data is valid, or turning on its LED if the data "
     "has been corrupted. As the data returns to the computer, it will be compared with the "
     "original data, and an error message displayed if it differs.;cmdDataDiag|Run Data "
     "Diagnostic|Click to send random data messages;Label4|Repeat Count;txtDiagCount|10|Enter "
     "the number of messages to send;Label6|Use the repeat count to select how many messages to "
     "send. Setting to -1 will repeat indefinitely.;chkDispData|Display data comparison|Check "
     "for extended error information;Label7|Checking the \"Display data comparison\" box will "
     "cause the computer to print the hex values of any data which differs between what was "
     "sent and what was received."},
    {"", "cmdExit|E&xit|Exit this program"},
};

class MainFormLayout : public testing_support::AppFixture {};

TEST_F(MainFormLayout, EveryControlSitsOnItsTabWithItsTexts) {
    MainForm &form = makeForm();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Ombrix Configuration"));
    QTabWidget *tabs = form.findChild<QTabWidget *>(QStringLiteral("tabs"));
    ASSERT_EQ(tabs->count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tabs->widget(i)->objectName() + QLatin1Char('|') + tabs->tabText(i),
                  QString::fromLatin1(pages[i].first) + QLatin1Char('|') +
                      QString::fromLatin1(pages[i].first + 3));
    EXPECT_EQ(tabs->currentIndex(), 0);
    for (const auto &[tab, controls] : pages)
        for (const std::string &control : testing_support::names(controls, ';')) {
            std::vector<std::string> want = testing_support::names(control);
            want.resize(3);
            SCOPED_TRACE(want[0]);
            auto *widget = form.findChild<QWidget *>(QString::fromStdString(want[0]));
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ((*tab ? form.findChild<QWidget *>(QString::fromLatin1(tab)) : tabs)
                          ->isAncestorOf(widget),
                      *tab != 0);
            const char *textProperty = qobject_cast<QGroupBox *>(widget) ? "title" : "text";
            EXPECT_EQ(widget->property(textProperty).toString().toStdString(), want[1]);
            EXPECT_EQ(widget->toolTip().toStdString(), want[2]);
            EXPECT_FALSE(widget->property("checked").toBool());
        }
    // The range fields wait for "Only Save/Load".
    EXPECT_FALSE(form.findChild<QWidget *>(QStringLiteral("txtRegMem"))->isEnabled());
    EXPECT_FALSE(form.findChild<QWidget *>(QStringLiteral("txtRegThrough"))->isEnabled());
}

} // namespace
} // namespace parlet
