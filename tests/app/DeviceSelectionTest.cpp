#include "AppFixture.h"
#include "DeviceDialogDriver.h"
#include "ui_MainForm.h"

#include <QLineEdit>

#include <optional>

namespace parlet {
namespace {

using namespace testing_support;

const std::string noInput =
    "No MIDI input devices found.  Do you need to install a device driver for your sound card?";
const std::string noOutput =
    "No MIDI output devices found.  Do you need to install a device driver for your sound card?";
const std::string inputTask = "Select MIDI Input Device";
const std::string outputTask = "Select MIDI Output Device";

struct StoredDevices {
    int in;
    std::string inName;
    int out;
    std::string outName;
};

// The devices as chosen, and what the two boxes show.
struct Chosen {
    int in;
    std::string inName, txtIn;
    int out;
    std::string outName, txtOut;

    bool operator==(const Chosen &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Chosen &c) {
    return out << "in " << c.in << " '" << c.inName << "' shows '" << c.txtIn << "', out " << c.out
               << " '" << c.outName << "' shows '" << c.txtOut << "'";
}

class DeviceSelection : public AppFixture {
  protected:
    Chosen chosen() {
        IniSettings s = form->settings();
        return {s.midiInDev,
                s.midiInName,
                form->ui().txtMidiIn->text().toStdString(),
                s.midiOutDev,
                s.midiOutName,
                form->ui().txtMidiOut->text().toStdString()};
    }
};

const std::vector<std::string> twoIns = {"In A", "In B"};
const std::vector<std::string> twoOuts = {"Out A", "Out B"};

TEST_F(DeviceSelection, AtStartUp) {
    struct Case {
        const char *what;
        std::vector<std::string> inputs, outputs;
        std::optional<StoredDevices> stored;
        std::deque<DialogAnswer> answers;
        std::vector<DialogSeen> dialogs;
        bool loads;
        std::vector<std::string> messages;
        Chosen expected;
    };
    const std::vector<Case> cases = {
        {"first run: both asked, input first",
         twoIns,
         twoOuts,
         std::nullopt,
         {pick(1), okUntouched()},
         {{inputTask, twoIns, 0}, {outputTask, twoOuts, 0}},
         true,
         {},
         {1, "In B", "In B", 0, "Out A", "Out A"}},
        {"stored numbers still name the same devices: nothing asked",
         twoIns,
         twoOuts,
         StoredDevices{1, "In B", 1, "Out B"},
         {},
         {},
         true,
         {},
         {1, "In B", "In B", 1, "Out B", "Out B"}},
        {"stored input now reports another name: asked with line 0 selected",
         {"In A", "In C"},
         twoOuts,
         StoredDevices{1, "In B", 0, "Out A"},
         {okUntouched()},
         {{inputTask, {"In A", "In C"}, 0}},
         true,
         {},
         {0, "In A", "In A", 0, "Out A", "Out A"}},
        {"names compare with case",
         twoIns,
         twoOuts,
         StoredDevices{1, "in b", 1, "Out B"},
         {pick(1)},
         {{inputTask, twoIns, 0}},
         true,
         {},
         {1, "In B", "In B", 1, "Out B", "Out B"}},
        {"stored number beyond the devices present",
         twoIns,
         twoOuts,
         StoredDevices{3, "In D", 1, "Out B"},
         {pick(1)},
         {{inputTask, twoIns, 0}},
         true,
         {},
         {1, "In B", "In B", 1, "Out B", "Out B"}},
        {"single output taken silently over a stored -1, its name left as it was",
         twoIns,
         {"Only Out"},
         StoredDevices{0, "In A", -1, "Old Out"},
         {},
         {},
         true,
         {},
         {0, "In A", "In A", 0, "Old Out", "Only Out"}},
        {"single output taken silently over a stored 5",
         twoIns,
         {"Only Out"},
         StoredDevices{0, "In A", 5, ""},
         {},
         {},
         true,
         {},
         {0, "In A", "In A", 0, "", "Only Out"}},
        {"single input replaced by another product: taken silently",
         {"New In"},
         twoOuts,
         StoredDevices{0, "Old In", 0, "Out A"},
         {},
         {},
         true,
         {},
         {0, "Old In", "New In", 0, "Out A", "Out A"}},
        {"input dialog closed by its close box: none chosen, box shows the last line",
         twoIns,
         twoOuts,
         std::nullopt,
         {closeBox(), okUntouched()},
         {{inputTask, twoIns, 0}, {outputTask, twoOuts, 0}},
         true,
         {},
         {-1, "", "In B", 0, "Out A", "Out A"}},
        {"output dialog closed by its close box: the default output is shown",
         twoIns,
         twoOuts,
         std::nullopt,
         {okUntouched(), closeBox()},
         {{inputTask, twoIns, 0}, {outputTask, twoOuts, 0}},
         true,
         {},
         {0, "In A", "In A", -1, "", "MIDI Mapper"}},
        {"no input device ends the program even with outputs present",
         {},
         twoOuts,
         StoredDevices{0, "In A", 1, "Out B"},
         {},
         {},
         false,
         {noInput},
         {0, "In A", "", 1, "Out B", ""}},
        {"no output device ends the program after the input was chosen",
         twoIns,
         {},
         StoredDevices{1, "In B", 0, "Out A"},
         {},
         {},
         false,
         {noOutput},
         {1, "In B", "In B", 0, "Out A", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        fake.messages.texts.clear();
        fake.devices.inputs = c.inputs;
        fake.devices.outputs = c.outputs;
        if (c.stored)
            storeDevices(c.stored->in, c.stored->inName, c.stored->out, c.stored->outName);
        else
            std::remove(iniPath().c_str());
        MainForm &mainForm = makeForm();
        DeviceDialogDriver driver(mainForm, c.answers);
        EXPECT_EQ(mainForm.Form_Load(), c.loads);
        EXPECT_EQ(driver.seen, c.dialogs);
        EXPECT_EQ(driver.unanswered(), 0u);
        EXPECT_EQ(fake.messages.texts, c.messages);
        EXPECT_EQ(mainForm.unloaded(), !c.loads);
        EXPECT_EQ(chosen(), c.expected);
    }
}

TEST_F(DeviceSelection, ChangeButtons) {
    struct Case {
        const char *what;
        const char *button;
        std::vector<std::string> inputsNow, outputsNow;
        std::deque<DialogAnswer> answers;
        std::vector<DialogSeen> dialogs;
        std::vector<std::string> messages;
        Chosen expected;
    };
    const std::vector<Case> cases = {
        {"input change leaves the output",
         "cmdMidiIn",
         twoIns,
         twoOuts,
         {okUntouched()},
         {{inputTask, twoIns, 0}},
         {},
         {0, "In A", "In A", 1, "Out B", "Out B"}},
        {"output change leaves the input",
         "cmdMidiOut",
         twoIns,
         twoOuts,
         {pick(0)},
         {{outputTask, twoOuts, 0}},
         {},
         {1, "In B", "In B", 0, "Out A", "Out A"}},
        {"input change with a third device plugged in",
         "cmdMidiIn",
         {"In A", "In B", "In C"},
         twoOuts,
         {pick(2)},
         {{inputTask, {"In A", "In B", "In C"}, 0}},
         {},
         {2, "In C", "In C", 1, "Out B", "Out B"}},
        {"output change with one output left: taken silently",
         "cmdMidiOut",
         twoIns,
         {"Out B"},
         {},
         {},
         {},
         {1, "In B", "In B", 0, "Out B", "Out B"}},
        {"input change closed by the close box",
         "cmdMidiIn",
         twoIns,
         twoOuts,
         {closeBox()},
         {{inputTask, twoIns, 0}},
         {},
         {-1, "", "In B", 1, "Out B", "Out B"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        fake.devices.inputs = twoIns;
        fake.devices.outputs = twoOuts;
        storeDevices(1, "In B", 1, "Out B");
        MainForm &mainForm = makeForm();
        ASSERT_TRUE(mainForm.Form_Load());
        mainForm.show();
        fake.devices.inputs = c.inputsNow;
        fake.devices.outputs = c.outputsNow;
        DeviceDialogDriver driver(mainForm, c.answers);
        QTest::mouseClick(mainForm.findChild<QPushButton *>(QString::fromLatin1(c.button)),
                          Qt::LeftButton);
        EXPECT_EQ(driver.seen, c.dialogs);
        EXPECT_EQ(driver.unanswered(), 0u);
        EXPECT_EQ(fake.messages.texts, c.messages);
        EXPECT_EQ(chosen(), c.expected);
        EXPECT_TRUE(mainForm.isVisible());
    }
}

TEST_F(DeviceSelection, ADeviceGoneAtChangeEndsTheProgramWithoutSaving) {
    fake.devices.inputs = twoIns;
    fake.devices.outputs = twoOuts;
    storeDevices(1, "In B", 1, "Out B");
    const std::string before = iniBytes();
    MainForm &mainForm = makeForm();
    ASSERT_TRUE(mainForm.Form_Load());
    mainForm.show();
    fake.devices.outputs.clear();
    QTest::mouseClick(mainForm.ui().cmdMidiOut, Qt::LeftButton);
    EXPECT_EQ(fake.messages.texts, std::vector<std::string>{noOutput});
    EXPECT_TRUE(mainForm.unloaded());
    EXPECT_FALSE(mainForm.isVisible());
    EXPECT_EQ(iniBytes(), before);
}

TEST_F(DeviceSelection, TheDialogKeepsItsListUntilClosedByItsCloseBox) {
    fake.devices.inputs = twoIns;
    fake.devices.outputs = twoOuts;
    MainForm &mainForm = makeForm();
    {
        DeviceDialogDriver driver(mainForm, {pick(1), closeBox()});
        ASSERT_TRUE(mainForm.Form_Load());
    }
    // OK hid the input dialog; the close box then did away with it and the program looked at a
    // new one, which has no lines.
    auto *dialog = mainForm.findChild<dlgDevs *>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->ui().lstDevs->count(), 0);
    EXPECT_EQ(dialog->ListIndex(), -1);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Select MIDI device"));
    EXPECT_TRUE(dialog->ui().lblTask->font().bold());
    EXPECT_EQ(dialog->ui().lstDevs->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    DeviceDialogDriver driver(mainForm, {okUntouched()});
    QTest::mouseClick(mainForm.ui().cmdMidiOut, Qt::LeftButton);
    EXPECT_EQ(dialog->ui().lstDevs->count(), 2) << "hidden by OK, the dialog keeps its list";
    EXPECT_EQ(mainForm.settings().midiOutDev, 0);
}

} // namespace
} // namespace parlet
