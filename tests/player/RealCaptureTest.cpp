// A capture through the real MIDI system: a second JACK client plays the keyboard on the input
// that the main window records from.
#include "JackServer.h"
#include "app/MainForm.h"
#include "player/Player.h"
#include "fakes/FakePlatform.h"
#include "platform/RealServices.h"
#include "platform/stream/SmfReader.h"
#include "player/seq.h"

#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace parlet {
namespace {

using namespace std::literals;
using test::JackServer;
using test::JackTestClient;

class RealCapture : public test::JackTest {};

TEST_F(RealCapture, TwoNotes250MsApartAreCapturedAndSavedSo) {
    JackTestClient keyboard("keyboard");
    ASSERT_TRUE(keyboard.ok());
    auto midi = makeRealMidiSystem();
    fakes::FakePlatform fake;
    Platform platform{*midi,          *midi,        fake.midiStream,  fake.mci,
                      fake.processes, fake.folders, fake.fileDialogs, fake.messages,
                      fake.clock};
    MainForm form(platform);
    for (unsigned i = 0; i < midi->midiInGetNumDevs(); ++i) {
        MIDIINCAPS caps;
        if (midi->midiInGetDevCapsA(int(i), caps) == 0 && caps.szPname.data() == "keyboard:out"s)
            form.state().midiInDev = int(i);
    }
    ASSERT_GE(form.state().midiInDev, 0);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("played.mid")).toStdString();
    fake.fileDialogs.answers.push_back(path);

    constexpr std::uint32_t kApart = 250 * JackServer::sampleRate / 1000;
    auto &buffer = seq::buffer();
    bool ran = false;
    QTimer::singleShot(0, &form, [&] {
        auto *window = form.findChild<QDialog *>(QStringLiteral("frmRecording"));
        ASSERT_NE(window, nullptr);
        ran = true;
        // Well ahead, so that a server held up by a busy machine still sends both at their frames.
        const std::uint32_t first = keyboard.frameNow() + JackServer::sampleRate / 10;
        keyboard.sendAt(first, {0x90, 60, 100});
        keyboard.sendAt(first + kApart, {0x90, 64, 100});
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (buffer.capCount() < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdSave")),
                          Qt::LeftButton);
        if (window->isVisible())
            window->reject();
    });
    form.player().SeqRec_Click();
    ASSERT_TRUE(ran);
    EXPECT_TRUE(fake.messages.texts.empty());

    ASSERT_EQ(buffer.capCount(), 3);
    EXPECT_EQ(buffer.capEvent(1), 0x00643C90);
    EXPECT_EQ(buffer.capEvent(2), 0x00644090);
    // The driver's timestamps: exact to the frame, so within a millisecond however late the
    // callback ran.
    EXPECT_NEAR(buffer.capTime(2) - buffer.capTime(1), 250, 1);

    SmfFile file; // the tempo event and the two notes
    ASSERT_EQ(loadSmf(path, file), SmfLoad::Ok);
    ASSERT_EQ(file.events.size(), 3u);
    EXPECT_EQ(file.events[1].tick, std::uint64_t(buffer.capTime(1)));
    EXPECT_NEAR(static_cast<double>(file.events[2].tick - file.events[1].tick), 250.0, 1.0);
    EXPECT_EQ(file.division, 500); // one tick a millisecond at the file's fixed tempo

    form.close();
    EXPECT_EQ(form.state().midiInHnd, 0);
}

} // namespace
} // namespace parlet
