#include "app/MainForm.h"
#include "fakes/FakePlatform.h"
#include "player/MidiFileSave.h"
#include "player/SmfReader.h"
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
#include <functional>

namespace parlet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class CaptureWindow : public ::testing::Test {
  protected:
    CaptureWindow() {
        form.midiInDev = 0;
        form.midDir = dir.path().toStdString();
        form.midFile = "last.mid";
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
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(window->isVisible());
            ran = true;
            during(*window);
            if (window->isVisible()) {
                ADD_FAILURE() << "the recording window is still shown";
                window->reject();
            }
        });
        form.SeqRec_Click();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(form.seqRecording);
        EXPECT_FALSE(form.seqTimer().isActive());
    }

    static QString label(QDialog &window, const char *name) {
        return window.findChild<QLabel *>(QString::fromUtf8(name))->text();
    }
    static void click(QDialog &window, const char *name) {
        QTest::mouseClick(window.findChild<QPushButton *>(QString::fromUtf8(name)), Qt::LeftButton);
    }

    QTemporaryDir dir;
    fakes::FakePlatform fake;
    MainForm form{fake.platform};
};

TEST_F(CaptureWindow, LayoutAndCaptions) {
    record([](QDialog &window) {
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Time"));
        EXPECT_TRUE(window.isModal());
        QStringList texts;
        for (auto *l : window.findChildren<QLabel *>())
            texts << l->text();
        EXPECT_TRUE(texts.contains(QStringLiteral("Recording")));
        EXPECT_TRUE(texts.contains(QStringLiteral("Events")));
        EXPECT_TRUE(texts.contains(QStringLiteral("Time")));
        EXPECT_EQ(window.findChild<QPushButton *>(QStringLiteral("cmdSave"))->text(),
                  QStringLiteral("Save"));
        EXPECT_EQ(window.findChild<QPushButton *>(QStringLiteral("cmdCancel"))->text(),
                  QStringLiteral("Cancel"));
        EXPECT_EQ(label(window, "seqCount"), QString());
        EXPECT_EQ(label(window, "seqTime"), QString());
        window.reject();
    });
}

TEST_F(CaptureWindow, RecordsShowsProgressAndSavesTheCapture) {
    fake.fileDialogs.answers.push_back(path("take.mid"));
    record([&](QDialog &window) {
        EXPECT_TRUE(form.seqRecording);
        EXPECT_EQ(form.seqTimer().interval(), 1000);
        form.seqTimer_Timer();
        EXPECT_EQ(label(window, "seqCount"), QStringLiteral(" 1"));
        EXPECT_EQ(label(window, "seqTime"), QStringLiteral("0:00"));

        fake.midiIn.deliver(0x00643C90, 1500);
        fake.midiIn.deliver(0x000000F8, 1600); // clock: not stored
        fake.midiIn.deliver(0x000000FE, 1700); // active sensing: not stored
        fake.midiIn.deliver(0x00403C80, 2000);
        form.seqTimer_Timer();
        EXPECT_EQ(label(window, "seqCount"), QStringLiteral(" 3"));
        EXPECT_EQ(label(window, "seqTime"), QStringLiteral("0:02"));
        fake.midiIn.calls.clear();
        click(window, "cmdSave");
        fake.midiIn.deliver(0x00403C80, 3000); // after the stop: never arrives
    });
    EXPECT_THAT(fake.midiIn.calls, ElementsAre("stop 1"));
    ASSERT_EQ(fake.fileDialogs.shown.size(), 1u);
    const auto &shown = fake.fileDialogs.shown[0];
    EXPECT_TRUE(shown.save);
    EXPECT_EQ(shown.request.filter, "MIDI Files (*.mid)|*.mid");
    EXPECT_EQ(shown.request.filterIndex, 1);
    EXPECT_TRUE(shown.request.overwritePrompt);
    EXPECT_EQ(shown.request.initDir, dir.path().toStdString());
    EXPECT_EQ(shown.request.fileName, "last.mid");
    EXPECT_EQ(form.midFile, path("take.mid"));
    EXPECT_EQ(form.midDir, dir.path().toStdString());

    const std::vector<std::uint8_t> expected = {
        0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xF4, 0x4D,
        0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x16, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x8B,
        0x5C, 0x90, 0x3C, 0x64, 0x83, 0x74, 0x80, 0x3C, 0x40, 0x84, 0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(testing::readBytes(path("take.mid")), expected);
}

TEST_F(CaptureWindow, ANameWithoutExtensionIsUsedAsTyped) {
    fake.fileDialogs.answers.push_back(path("take"));
    record([&](QDialog &window) { click(window, "cmdSave"); });
    EXPECT_TRUE(std::filesystem::exists(path("take")));
    EXPECT_FALSE(std::filesystem::exists(path("take.mid")));
    EXPECT_EQ(testing::readBytes(path("take")).size(), 34u);
}

TEST_F(CaptureWindow, DialogCancelThenCancelWritesNothingAndKeepsTheCapture) {
    fake.fileDialogs.answers.push_back(std::nullopt);
    record([&](QDialog &window) {
        fake.midiIn.deliver(0x00643C90, 100);
        click(window, "cmdSave");
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(form.seqRecording);
        click(window, "cmdSave"); // no answer queued: cancelled again
        EXPECT_TRUE(window.isVisible());
        click(window, "cmdCancel");
    });
    EXPECT_EQ(fake.fileDialogs.shown.size(), 2u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path().toStdString()));
    EXPECT_EQ(form.midFile, "last.mid");
    EXPECT_EQ(seq::buffer().capCount(), 2);
    EXPECT_EQ(seq::buffer().capEvent(1), 0x00643C90);
    EXPECT_THAT(fake.midiIn.calls, ElementsAre("open 0", "start 1", "start 1", "stop 1"));
}

TEST_F(CaptureWindow, AFailedWriteIsReportedAndTheWindowStaysForAnotherTry) {
    std::string bad = path("no such folder/take.mid");
    fake.fileDialogs.answers.push_back(bad);
    fake.fileDialogs.answers.push_back(path("take.mid"));
    record([&](QDialog &window) {
        fake.midiIn.deliver(0x00643C90, 100);
        click(window, "cmdSave");
        ASSERT_EQ(fake.messages.texts.size(), 1u);
        EXPECT_THAT(fake.messages.texts[0], HasSubstr(bad));
        EXPECT_THAT(fake.messages.texts[0], HasSubstr("No such file or directory"));
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(form.midFile, bad);
        click(window, "cmdSave");
    });
    EXPECT_EQ(testing::parseSmf(testing::readBytes(path("take.mid"))).events.size(), 3u);
}

TEST_F(CaptureWindow, ClosingByTheFrameOrEscapeIsACancel) {
    const std::function<void(QDialog &)> closers[] = {
        [](QDialog &window) { window.close(); },
        [](QDialog &window) { QTest::keyClick(&window, Qt::Key_Escape); },
    };
    for (const auto &closeWindow : closers) {
        fake.midiIn.calls.clear();
        record([&](QDialog &window) {
            fake.midiIn.deliver(0x00643C90, 100);
            closeWindow(window);
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
    EXPECT_EQ(form.midiInHnd, 1);
    record([&](QDialog &window) {
        form.seqTimer_Timer();
        EXPECT_EQ(label(window, "seqCount"), QStringLiteral(" 1"));
        EXPECT_EQ(label(window, "seqTime"), QStringLiteral("0:00"));
        fake.midiIn.deliver(0x00403C80, 40);
        click(window, "cmdCancel");
    });
    EXPECT_THAT(fake.midiIn.calls, ElementsAre("open 0", "start 1", "start 1", "stop 1", "start 1",
                                               "start 1", "stop 1"));
    EXPECT_EQ(seq::buffer().capCount(), 2);
    EXPECT_EQ(seq::buffer().capEvent(1), 0x00403C80);

    form.close(); // shut-down closes the input
    EXPECT_EQ(fake.midiIn.calls.back(), "close 1");
    EXPECT_EQ(form.midiInHnd, 0);
}

TEST_F(CaptureWindow, OpenFailures) {
    struct Case {
        std::function<void(fakes::FakeMidiIn &)> arrange;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {[](fakes::FakeMidiIn &in) { in.busyDevices.insert(0); },
         {"Oops, the MIDI device is already open"}},
        {[](fakes::FakeMidiIn &in) { in.deviceCount = 0; }, {}},
    };
    for (const auto &c : cases) {
        fakes::FakePlatform platform;
        MainForm main{platform.platform};
        main.midiInDev = 0;
        c.arrange(platform.midiIn);
        main.SeqRec_Click(); // returns at once: no window is shown
        EXPECT_EQ(platform.messages.texts, c.messages);
        EXPECT_EQ(main.midiInHnd, 0);
        EXPECT_FALSE(main.seqRecording);
        EXPECT_EQ(main.findChild<QDialog *>(QStringLiteral("frmRecording")), nullptr);
        EXPECT_THAT(platform.midiIn.calls, ElementsAre("open 0"));
    }
}

// The sequencer window's Save goes through the same step with the buffer's stored deltas.
TEST(MidiFileSave, SequencerModeWritesTheStoredDeltas) {
    fakes::FakePlatform fake;
    QTemporaryDir dir;
    seq::CaptureBuffer buffer;
    buffer.capAppend(0x00643C90, 1200);
    buffer.capAppend(0x00403C80, 1700);
    buffer.capToDeltas();
    std::string midDir = "/music";
    std::string midFile = "/music/old.mid";

    EXPECT_EQ(saveMidiFileAs(fake.platform, midDir, midFile, buffer, smf::DeltaMode::Stored),
              SaveOutcome::Cancelled);
    EXPECT_EQ(midFile, "/music/old.mid");

    std::string chosen = dir.filePath(QStringLiteral("seq.mid")).toStdString();
    fake.fileDialogs.answers.push_back(chosen);
    EXPECT_EQ(saveMidiFileAs(fake.platform, midDir, midFile, buffer, smf::DeltaMode::Stored),
              SaveOutcome::Written);
    EXPECT_EQ(midDir, dir.path().toStdString());
    EXPECT_EQ(midFile, chosen);
    EXPECT_EQ(fake.fileDialogs.shown[1].request.initDir, "/music");
    auto bytes = testing::readBytes(chosen);
    ASSERT_EQ(bytes.size(), 43u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 18, bytes.end()),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x15, 0x00, 0xFF, 0x51, 0x03, 0x07,
                                         0xA1, 0x20, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x74, 0x80,
                                         0x3C, 0x40, 0x84, 0x00, 0xFF, 0x2F, 0x00}));
}

} // namespace
} // namespace parlet
