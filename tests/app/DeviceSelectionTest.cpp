#include "AppFixture.h"

#include <QLineEdit>

namespace parlet {
namespace {

using namespace testing_support;

const std::string noInput =
    "No MIDI input devices found.  Do you need to install a device driver for your sound card?";
const std::string noOutput =
    "No MIDI output devices found.  Do you need to install a device driver for your sound card?";
constexpr int noFile = -2;

// Without a button the cases start the program on these devices and this file. With one, the
// program first comes up on "In A|In B", "Out A|Out B" and the stored 1 In B / 1 Out B, then the
// devices change and the button is clicked.
struct Case {
    const char *what;
    const char *button;
    std::string ins, outs;
    int in;
    std::string inName;
    int out;
    std::string outName;
    std::string answers, asked; // asked: 'i'/'o' per dialog, each offering the devices, line 0 on
    std::string message;        // the one message shown; when set the program ends
    std::string chosen;         // "in name/box, out name/box"
};

void PrintTo(const Case &c, std::ostream *out) {
    *out << c.what;
}

class DeviceSelection : public AppFixture, public testing::WithParamInterface<Case> {};

TEST_P(DeviceSelection, AsksOnlyWhenTheStoredDeviceIsGone) {
    const Case &c = GetParam();
    fake.devices.inputs = names(c.button ? "In A|In B" : c.ins);
    fake.devices.outputs = names(c.button ? "Out A|Out B" : c.outs);
    if (c.in != noFile)
        storeDevices(c.in, c.inName, c.out, c.outName);
    const std::string before = iniBytes();
    MainForm &mainForm = makeForm();
    std::string seen;
    if (c.button) {
        ASSERT_TRUE(mainForm.Form_Load());
        mainForm.show();
        fake.devices.inputs = names(c.ins);
        fake.devices.outputs = names(c.outs);
        DeviceDialogDriver driver(mainForm, c.answers);
        QTest::mouseClick(mainForm.findChild<QPushButton *>(QString::fromLatin1(c.button)),
                          Qt::LeftButton);
        seen = driver.seen;
        EXPECT_EQ(mainForm.isVisible(), c.message.empty());
    } else {
        DeviceDialogDriver driver(mainForm, c.answers);
        EXPECT_EQ(mainForm.Form_Load(), c.message.empty());
        seen = driver.seen;
    }
    std::string asked;
    for (char task : c.asked)
        asked += task == 'i' ? "Select MIDI Input Device:" + c.ins + "@0 "
                             : "Select MIDI Output Device:" + c.outs + "@0 ";
    EXPECT_EQ(seen, asked);
    EXPECT_EQ(fake.messages.texts, names(c.message));
    EXPECT_EQ(mainForm.unloaded(), !c.message.empty());
    EXPECT_EQ(iniBytes(), before) << "choosing devices saves nothing";
    const IniSettings s = mainForm.settings();
    EXPECT_EQ(
        std::to_string(s.midiInDev) + ' ' + s.midiInName + '/' +
            mainForm.findChild<QLineEdit *>(QStringLiteral("txtMidiIn"))->text().toStdString() +
            ", " + std::to_string(s.midiOutDev) + ' ' + s.midiOutName + '/' +
            mainForm.findChild<QLineEdit *>(QStringLiteral("txtMidiOut"))->text().toStdString(),
        c.chosen);
}

const std::string ins = "In A|In B", outs = "Out A|Out B";
INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceSelection,
    testing::Values(Case{"first run: input asked first", nullptr, ins, outs, noFile, "", 0, "",
                         "p1 ok", "io", "", "1 In B/In B, 0 Out A/Out A"},
                    Case{"stored devices still present", nullptr, ins, outs, 1, "In B", 1, "Out B",
                         "", "", "", "1 In B/In B, 1 Out B/Out B"},
                    // The first device is checked against its name like any other.
                    Case{"stored input renamed", nullptr, "In C|In B", outs, 0, "In A", 0, "Out A",
                         "ok", "i", "", "0 In C/In C, 0 Out A/Out A"},
                    // A number that names no device reads no name, as the stored one.
                    Case{"stored number out of range", nullptr, ins, outs, 2, "", 1, "Out B", "p1",
                         "i", "", "1 In B/In B, 1 Out B/Out B"},
                    Case{"single output taken silently, name kept", nullptr, ins, "Only Out", 0,
                         "In A", -1, "Old Out", "", "", "", "0 In A/In A, 0 Old Out/Only Out"},
                    Case{"input close box: -1, box shows the last line", nullptr, ins, outs, noFile,
                         "", 0, "", "x ok", "io", "", "-1 /In B, 0 Out A/Out A"},
                    Case{"output close box: default output shown", nullptr, ins, outs, noFile, "",
                         0, "", "ok x", "io", "", "0 In A/In A, -1 /MIDI Mapper"},
                    Case{"no input device ends the program", nullptr, "", outs, 0, "In A", 1,
                         "Out B", "", "", noInput, "0 In A/, 1 Out B/"},
                    Case{"no output device ends the program", nullptr, ins, "", 1, "In B", 0,
                         "Out A", "", "", noOutput, "1 In B/In B, 0 Out A/"},
                    Case{"Change input keeps the output", "cmdMidiIn", ins, outs, 1, "In B", 1,
                         "Out B", "ok", "i", "", "0 In A/In A, 1 Out B/Out B"},
                    Case{"Change output keeps the input", "cmdMidiOut", ins, outs, 1, "In B", 1,
                         "Out B", "p0", "o", "", "1 In B/In B, 0 Out A/Out A"},
                    Case{"output gone at Change ends the program", "cmdMidiOut", ins, "", 1, "In B",
                         1, "Out B", "", "", noOutput, "1 In B/In B, -1 Out B/Out B"}));

} // namespace
} // namespace parlet
