#include "AppFixture.h"
#ifndef _WIN32
#include "app/TerminationSignals.h"
#endif

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>

#include <csignal>
#include <filesystem>

namespace parlet {
namespace {

using namespace testing_support;

class MainFormLifecycle : public AppFixture {
  protected:
    MainForm &loadOn(const std::string &ins, const std::string &outs, const std::string &answers) {
        fake.devices.inputs = names(ins);
        fake.devices.outputs = names(outs);
        MainForm &mainForm = makeForm();
        DeviceDialogDriver driver(mainForm, answers);
        EXPECT_TRUE(mainForm.Form_Load());
        mainForm.show();
        return mainForm;
    }
};

TEST_F(MainFormLifecycle, ExitWritesTheSettingsOfThisRun) {
    // before: "" = no file; @ stands for the folders: application data, then documents twice.
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases = {
        {"", "In A|In B", "p1 ok", "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n\r\n@"},
        {"", "In A", "", "V3\r\n 0 \r\n\r\n 0 \r\n\r\n\r\n@"}, // single devices: no names
        {"V2\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/a.ocf\r\n", "In A|In B", "",
         "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/a.ocf\r\n@"},
        {"V3\r\n 0 \r\nIn A\r\n 7 \r\nOut X\r\n/c.ocf\r\n@", "In A|In B", "x",
         "V3\r\n 0 \r\nIn A\r\n-1 \r\n\r\n/c.ocf\r\n@"},
    };
    for (auto [before, ins, answers, after] : cases) {
        SCOPED_TRACE(after);
        SetUp();
        const std::string folders = appData + "\r\n" + documents + "\r\n" + documents + "\r\n";
        for (std::string *text : {&before, &after})
            if (text->ends_with('@'))
                text->replace(text->size() - 1, 1, folders);
        if (!before.empty())
            std::ofstream(iniPath(), std::ios::binary) << before;
        MainForm &mainForm = loadOn(ins, ins == "In A" ? "Out A" : "Out A|Out B", answers);
        EXPECT_FALSE(mainForm.seqTimer().isActive()); // nothing ticks while idle
        QTest::mouseClick(mainForm.findChild<QWidget *>(QStringLiteral("cmdExit")), Qt::LeftButton);
        EXPECT_FALSE(mainForm.isVisible());
        EXPECT_TRUE(mainForm.unloaded());
        EXPECT_EQ(iniBytes(), after);
    }
}

TEST_F(MainFormLifecycle, TheCloseBoxSavesNothingAndBothWaysCloseTheInput) {
    for (int way : {0, 1, 2}) { // close box without a file, with one, Exit
        SCOPED_TRACE(way);
        std::remove(iniPath().c_str());
        if (way == 1)
            storeDevices(0, "In A", 0, "Out A");
        const std::string before = iniBytes();
        MainForm &mainForm = loadOn("In A", "Out A", "");
        fake.midiIn.midiInOpen(&mainForm.state().midiInHnd, 0, nullptr, 0, CALLBACK_FUNCTION);
        ASSERT_NE(mainForm.state().midiInHnd, 0);
        way == 2 ? mainForm.cmdExit_Click() : (void)mainForm.close();
        EXPECT_TRUE(mainForm.unloaded());
        EXPECT_EQ(mainForm.state().midiInHnd, 0);
        EXPECT_TRUE(fake.midiIn.open.empty());
        if (way < 2) { // Exit's writing is checked above
            EXPECT_EQ(std::filesystem::exists(iniPath()), way == 1);
            EXPECT_EQ(iniBytes(), before);
        }
    }
}

TEST_F(MainFormLifecycle, WithoutAConfigurationFileTheChooserOpensAtStartUp) {
    const std::vector<std::tuple<std::string, std::optional<std::string>, std::string>> cases = {
        {"C:\\Ombrix\\organ, main.ocf", std::nullopt, "C:\\Ombrix\\organ, main.ocf"},
        {"", std::nullopt, ""},
        {"", "/home/a/organ.ocf", "/home/a/organ.ocf"}};
    for (const auto &[storedFile, answer, shown] : cases) {
        storeDevices(0, "In A", 0, "Out A", storedFile);
        fake.fileDialogs.shown.clear();
        fake.fileDialogs.answers = {answer};
        MainForm &mainForm = loadOn("In A", "Out A", "");
        ASSERT_EQ(fake.fileDialogs.shown.size(), storedFile.empty() ? 1u : 0u);
        if (storedFile.empty()) {
            // The tool reports a file that does not exist.
            EXPECT_FALSE(fake.fileDialogs.shown[0].save ||
                         fake.fileDialogs.shown[0].request.fileMustExist);
            EXPECT_EQ(fake.fileDialogs.shown[0].request.initDir, documents);
        }
        EXPECT_EQ(mainForm.settings().cfgFile, shown);
        EXPECT_EQ(
            mainForm.findChild<QLineEdit *>(QStringLiteral("txtConfigFile"))->text().toStdString(),
            shown);
    }
}

#ifndef _WIN32
// SIGINT ends the program like the close box, also from inside a start-up dialog, and the event
// loop then returns 0. (The smoke test sends SIGTERM to the real program while it is shown.)
TEST_F(MainFormLifecycle, ATerminationSignalInADialogClosesWithoutSaving) {
    fake.devices.inputs = {"In A", "In B"};
    fake.devices.outputs = {"Out A", "Out B"};
    MainForm &mainForm = makeForm();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &mainForm,
                     &MainForm::closeWithoutSaving);
    QTimer raiser;
    QObject::connect(&raiser, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != nullptr) {
            raiser.stop();
            std::raise(SIGINT);
        }
    });
    raiser.start(0);
    bool loaded = true;
    QTimer::singleShot(0, [&] { loaded = mainForm.Form_Load(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(mainForm.unloaded());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(iniPath()));
}
#endif

} // namespace
} // namespace parlet
