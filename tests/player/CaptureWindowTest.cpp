#include "app/MainForm.h"
#include "player/Player.h"
#include "fakes/FakePlatform.h"
#include "platform/stream/SmfReader.h"
#include "player/SmfWriter.h"
#include "player/seq.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace parlet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class CaptureWindow : public ::testing::Test {
  protected:
    CaptureWindow() {
        form.state().midiInDev = 0;
        form.state().midDir = dir.path().toStdString();
        form.state().midFile = "last.mid";
    }
    std::string path(const char *name) const {
        return dir.filePath(QString::fromUtf8(name)).toStdString();
    }

    // Clicks Record; `during` runs while the recording window is shown. A window still shown
    // afterwards is cancelled so that the test cannot hang, and reported.
    void record(const std::function<void(QDialog &)> &during) {
        bool ran = false;
        QTimer::singleShot(0, &form, [&] {
            auto *window = form.findChild<QDialog *>(QStringLiteral("frmRecording"));
            ASSERT_TRUE(window && window->isVisible());
            ran = true;
            during(*window);
            if (window->isVisible()) {
                ADD_FAILURE() << "the recording window is still shown";
                window->reject();
            }
        });
        form.player().SeqRec_Click();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(form.state().seqRecording);
        EXPECT_FALSE(form.seqTimer().isActive());
    }
    // Lets the timer tick and returns the count and time shown.
    QStringList shown(QDialog &window) {
        form.seqTimer().seqTimer_Timer();
        return {window.findChild<QLabel *>(QStringLiteral("seqCount"))->text(),
                window.findChild<QLabel *>(QStringLiteral("seqTime"))->text()};
    }
    static void click(QDialog &window, const char *name) {
        QTest::mouseClick(window.findChild<QPushButton *>(QString::fromUtf8(name)), Qt::LeftButton);
    }

    QTemporaryDir dir;
    fakes::FakePlatform fake;
    MainForm form{fake.platform};
};

TEST_F(CaptureWindow, RecordsShowsProgressAndSavesTheCapture) {
    fake.fileDialogs.answers.push_back(path("take.mid"));
    record([&](QDialog &window) {
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Time"));
        EXPECT_TRUE(form.state().seqRecording);
        EXPECT_EQ(form.seqTimer().interval(), 1000);
        EXPECT_EQ(shown(window), QStringList({QStringLiteral(" 1"), QStringLiteral("0:00")}));
        fake.midiIn.deliver(0x00643C90, 1500);
        fake.midiIn.deliver(0x000000F8, 1600); // clock: not stored
        fake.midiIn.deliver(0x00403C80, 2000);
        EXPECT_EQ(shown(window), QStringList({QStringLiteral(" 3"), QStringLiteral("0:02")}));
        fake.midiIn.calls.clear();
        click(window, "cmdSave");
        fake.midiIn.deliver(0x00403C80, 3000); // after the stop: never arrives
    });
    EXPECT_THAT(fake.midiIn.calls, ElementsAre("stop 1"));
    ASSERT_EQ(fake.fileDialogs.shown.size(), 1u);
    const auto &request = fake.fileDialogs.shown[0].request;
    EXPECT_TRUE(fake.fileDialogs.shown[0].save && request.overwritePrompt);
    EXPECT_EQ(request.filter, "MIDI Files (*.mid)|*.mid");
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_EQ(request.initDir, dir.path().toStdString());
    EXPECT_EQ(request.fileName, "last.mid");
    EXPECT_EQ(form.state().midFile, path("take.mid"));
    // The 44-byte file the writer's own test spells out.
    const std::vector<seq::Entry> entries{
        {seq::kTempoEntry, 0}, {0x00643C90, 1500}, {0x00403C80, 2000}};
    std::ifstream written(path("take.mid"), std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(written), {}),
              smf::encode(entries, smf::DeltaMode::Absolute).bytes);
}

TEST_F(CaptureWindow, DialogCancelThenCancelWritesNothingAndKeepsTheCapture) {
    fake.fileDialogs.answers.push_back(std::nullopt);
    record([&](QDialog &window) {
        fake.midiIn.deliver(0x00643C90, 100);
        click(window, "cmdSave");
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(form.state().seqRecording);
        click(window, "cmdCancel");
    });
    EXPECT_EQ(fake.fileDialogs.shown.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path().toStdString()));
    EXPECT_EQ(form.state().midFile, "last.mid");
    EXPECT_EQ(seq::buffer().capEvent(1), 0x00643C90);
    EXPECT_THAT(fake.midiIn.calls, ElementsAre("open 0", "start 1", "start 1", "stop 1"));
}

// The message names the file and the reason; the window stays so that another name can be tried,
// and a name without extension is then used as typed.
TEST_F(CaptureWindow, AFailedWriteIsReportedAndTheCaptureKept) {
    std::string bad = path("no such folder/take.mid");
    fake.fileDialogs.answers = {bad, path("take")};
    record([&](QDialog &window) {
        fake.midiIn.deliver(0x00643C90, 100);
        click(window, "cmdSave");
        ASSERT_EQ(fake.messages.texts.size(), 1u);
        EXPECT_THAT(fake.messages.texts[0], HasSubstr(bad));
        EXPECT_THAT(fake.messages.texts[0], HasSubstr("No such file or directory"));
        EXPECT_TRUE(window.isVisible());
        click(window, "cmdSave");
    });
    SmfFile taken; // the tempo event and the note
    EXPECT_EQ(loadSmf(path("take"), taken), SmfLoad::Ok);
    EXPECT_EQ(taken.events.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(path("take.mid")));
}

TEST_F(CaptureWindow, ClosingByTheFrameOrEscapeIsACancel) {
    for (bool frame : {true, false}) {
        fake.midiIn.calls.clear();
        record([&](QDialog &window) {
            fake.midiIn.deliver(0x00643C90, 100);
            frame ? (void)window.close() : QTest::keyClick(&window, Qt::Key_Escape);
        });
        EXPECT_THAT(fake.midiIn.calls, ::testing::Contains("stop 1"));
        EXPECT_TRUE(fake.fileDialogs.shown.empty());
        EXPECT_EQ(seq::buffer().capCount(), 2);
    }
}

TEST_F(CaptureWindow, ASecondCaptureReusesTheOpenInputAndStartsEmpty) {
    record([&](QDialog &window) {
        fake.midiIn.deliver(0x00643C90, 100);
        click(window, "cmdCancel");
    });
    record([&](QDialog &window) {
        EXPECT_EQ(shown(window), QStringList({QStringLiteral(" 1"), QStringLiteral("0:00")}));
        fake.midiIn.deliver(0x00403C80, 40);
        click(window, "cmdCancel");
    });
    EXPECT_THAT(fake.midiIn.calls, ElementsAre("open 0", "start 1", "start 1", "stop 1", "start 1",
                                               "start 1", "stop 1"));
    EXPECT_EQ(seq::buffer().capCount(), 2);
    EXPECT_EQ(seq::buffer().capEvent(1), 0x00403C80);
    form.close(); // shut-down closes the input
    EXPECT_EQ(fake.midiIn.calls.back(), "close 1");
    EXPECT_EQ(form.state().midiInHnd, 0);
}

TEST_F(CaptureWindow, ABusyInputIsReportedAndNoWindowShown) {
    fake.midiIn.busyDevices.insert(0);
    form.player().SeqRec_Click(); // returns at once
    EXPECT_THAT(fake.messages.texts, ElementsAre("Oops, the MIDI device is already open"));
    EXPECT_EQ(form.state().midiInHnd, 0);
    EXPECT_EQ(form.findChild<QDialog *>(QStringLiteral("frmRecording")), nullptr);
}

} // namespace
} // namespace parlet
