#include "AppFixture.h"
#include "DeviceDialogDriver.h"
#include "app/TerminationSignals.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace parlet {
namespace {

using namespace testing_support;

class MainFormLifecycle : public AppFixture {
  protected:
    void openInput(MainForm &mainForm) {
        fake.midiIn.midiInOpen(&mainForm.midiInHnd, 0, nullptr, 0, CALLBACK_FUNCTION);
        ASSERT_NE(mainForm.midiInHnd, 0);
    }
};

TEST_F(MainFormLifecycle, ExitWritesTheSettingsOfThisRun) {
    struct Case {
        const char *what;
        std::string before; // "" = no file
        std::vector<std::string> inputs, outputs;
        std::deque<DialogAnswer> answers;
        std::string after; // with @INI and @DOC for the folders
    };
    const std::vector<Case> cases = {
        {"first run, two devices each, chooser cancelled",
         "",
         {"In A", "In B"},
         {"Out A", "Out B"},
         {pick(1), okUntouched()},
         "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n\r\n@INI\r\n@DOC\r\n@DOC\r\n"},
        {"single devices are taken without their names",
         "",
         {"In A"},
         {"Out A"},
         {},
         "V3\r\n 0 \r\n\r\n 0 \r\n\r\n\r\n@INI\r\n@DOC\r\n@DOC\r\n"},
        {"a V2 file comes back as V3",
         "V2\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/cfg/a.ocf\r\n",
         {"In A", "In B"},
         {"Out A", "Out B"},
         {},
         "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/cfg/a.ocf\r\n@INI\r\n@DOC\r\n@DOC\r\n"},
        {"output dialog closed: no device, written as -1",
         "V3\r\n 0 \r\nIn A\r\n 7 \r\nOut X\r\n/c.ocf\r\n@INI\r\n@DOC\r\n@DOC\r\n",
         {"In A", "In B"},
         {"Out A", "Out B"},
         {closeBox()},
         "V3\r\n 0 \r\nIn A\r\n-1 \r\n\r\n/c.ocf\r\n@INI\r\n@DOC\r\n@DOC\r\n"},
        {"a name holding a comma is quoted",
         "",
         {"Synth, Port 1", "In B"},
         {"Out A", "Out B"},
         {okUntouched(), okUntouched()},
         "V3\r\n 0 \r\n\"Synth, Port 1\"\r\n 0 \r\nOut A\r\n\r\n@INI\r\n@DOC\r\n@DOC\r\n"},
    };
    auto expand = [&](std::string text) {
        for (auto [mark, folder] : {std::pair{"@INI", appData}, std::pair{"@DOC", documents}})
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
                text.replace(at, 4, folder);
        return text;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        std::remove(iniPath().c_str());
        if (!c.before.empty())
            std::ofstream(iniPath(), std::ios::binary) << expand(c.before);
        fake.devices.inputs = c.inputs;
        fake.devices.outputs = c.outputs;
        MainForm &mainForm = makeForm();
        {
            DeviceDialogDriver driver(mainForm, c.answers);
            ASSERT_TRUE(mainForm.Form_Load());
        }
        mainForm.show();
        QTest::mouseClick(mainForm.ui().cmdExit, Qt::LeftButton);
        EXPECT_FALSE(mainForm.isVisible());
        EXPECT_TRUE(mainForm.unloaded());
        EXPECT_EQ(iniBytes(), expand(c.after));
    }
}

TEST_F(MainFormLifecycle, TheCloseBoxSavesNothing) {
    fake.devices.inputs = {"In A", "In B"};
    fake.devices.outputs = {"Out A", "Out B"};
    for (bool fileBefore : {false, true}) {
        SCOPED_TRACE(fileBefore ? "with a file" : "without a file");
        std::remove(iniPath().c_str());
        if (fileBefore)
            storeDevices(1, "In B", 1, "Out B");
        const std::string before = iniBytes();
        MainForm &mainForm = makeForm();
        {
            DeviceDialogDriver driver(mainForm, fileBefore
                                                    ? std::deque<DialogAnswer>{}
                                                    : std::deque<DialogAnswer>{pick(0), pick(0)});
            ASSERT_TRUE(mainForm.Form_Load());
        }
        mainForm.show();
        mainForm.close();
        EXPECT_TRUE(mainForm.unloaded());
        EXPECT_EQ(iniBytes(), before);
        EXPECT_EQ(std::filesystem::exists(iniPath()), fileBefore);
    }
}

TEST_F(MainFormLifecycle, ShutDownClosesAnOpenInputEitherWay) {
    fake.devices.inputs = {"In A"};
    fake.devices.outputs = {"Out A"};
    for (bool byExit : {true, false}) {
        SCOPED_TRACE(byExit ? "Exit" : "close box");
        fake.midiIn.calls.clear();
        MainForm &mainForm = makeForm();
        ASSERT_TRUE(mainForm.Form_Load());
        EXPECT_EQ(mainForm.midiInHnd, 0);
        mainForm.show();
        openInput(mainForm);
        const HMIDIIN handle = mainForm.midiInHnd;
        if (byExit)
            mainForm.cmdExit_Click();
        else
            mainForm.close();
        EXPECT_EQ(mainForm.midiInHnd, 0);
        EXPECT_EQ(fake.midiIn.calls.back(), "close " + std::to_string(handle));
        EXPECT_TRUE(fake.midiIn.open.empty());
    }
}

TEST_F(MainFormLifecycle, AStoredConfigurationFileIsShown) {
    fake.devices.inputs = {"In A"};
    fake.devices.outputs = {"Out A"};
    storeDevices(0, "In A", 0, "Out A", "C:\\Ombrix\\organ, main.ocf");
    MainForm &mainForm = makeForm();
    ASSERT_TRUE(mainForm.Form_Load());
    EXPECT_EQ(mainForm.ui().txtConfigFile->text(), QStringLiteral("C:\\Ombrix\\organ, main.ocf"));
    EXPECT_TRUE(fake.fileDialogs.shown.empty()) << "no chooser when a file is set";
}

TEST_F(MainFormLifecycle, WithoutAConfigurationFileTheChooserOpensAtStartUp) {
    struct Case {
        const char *what;
        std::optional<std::string> answer;
        std::string cfgFile;
    };
    const Case cases[] = {
        {"cancelled", std::nullopt, ""},
        {"chosen", "/home/a/organ.ocf", "/home/a/organ.ocf"},
    };
    fake.devices.inputs = {"In A"};
    fake.devices.outputs = {"Out A"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        storeDevices(0, "In A", 0, "Out A", "");
        fake.fileDialogs.shown.clear();
        fake.fileDialogs.answers = {c.answer};
        MainForm &mainForm = makeForm();
        ASSERT_TRUE(mainForm.Form_Load());
        ASSERT_EQ(fake.fileDialogs.shown.size(), 1u);
        EXPECT_FALSE(fake.fileDialogs.shown[0].save);
        EXPECT_EQ(fake.fileDialogs.shown[0].request.initDir, documents);
        EXPECT_EQ(mainForm.settings().cfgFile, c.cfgFile);
        EXPECT_EQ(mainForm.ui().txtConfigFile->text().toStdString(), c.cfgFile);
    }
}

// SIGTERM and SIGINT end the program like the close box, also from inside a modal dialog, and the
// event loop then returns 0.
TEST_F(MainFormLifecycle, TerminationSignalsCloseWithoutSaving) {
    struct Case {
        int signal;
        bool duringStartUpDialog;
    };
    const Case cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGTERM, false}, {SIGINT, false}};
    fake.devices.inputs = {"In A", "In B"};
    fake.devices.outputs = {"Out A", "Out B"};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.signal == SIGTERM ? "SIGTERM" : "SIGINT") +
                     (c.duringStartUpDialog ? " in the device dialog" : " while idle"));
        std::remove(iniPath().c_str());
        if (!c.duringStartUpDialog)
            storeDevices(1, "In B", 1, "Out B");
        const std::string before = iniBytes();
        fake.fileDialogs.shown.clear();
        MainForm &mainForm = makeForm();
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &mainForm,
                         &MainForm::closeWithoutSaving);
        QSignalSpy requested(&termination, &TerminationSignals::terminationRequested);

        // Raise the signal once the device dialog is up, or once the idle window is shown.
        QTimer raiser;
        QObject::connect(&raiser, &QTimer::timeout, [&] {
            bool ready = c.duringStartUpDialog ? QApplication::activeModalWidget() != nullptr
                                               : mainForm.isVisible();
            if (ready) {
                raiser.stop();
                std::raise(c.signal);
            }
        });
        raiser.start(0);
        bool loaded = true;
        QTimer::singleShot(0, [&] {
            loaded = mainForm.Form_Load();
            if (loaded)
                mainForm.show();
        });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_EQ(requested.count(), 1);
        EXPECT_EQ(loaded, !c.duringStartUpDialog);
        EXPECT_TRUE(mainForm.unloaded());
        EXPECT_FALSE(mainForm.isVisible());
        EXPECT_TRUE(fake.fileDialogs.shown.empty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(iniBytes(), before);
    }
}

} // namespace
} // namespace parlet
