#include "player/PlayerRig.h"
#include "player/SmfWriter.h"
#include "sequencer/frmSeq.h"

#include <QCheckBox>
#include <QFile>

#include <gmock/gmock.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace parlet {
namespace {

using ::testing::ElementsAre;

// A window shown on the fake platform with nothing in the store, its input free or held by the
// main window's capture.
struct SeqWindowRig : test::FakePlayerRig {
    explicit SeqWindowRig(bool inputBusy = false) {
        seq::buffer().capClear();
        if (inputBusy)
            fake.midiIn.busyDevices.insert(0);
        window.show();
    }
    void click(const char *name) { test::PlayerRig::click(window, name); }
    QString text(const char *name) { return test::PlayerRig::text(window, name); }
    // lblState and the visible caption of cmdPlay.
    std::string shown() {
        return (text("lblState") + u' ' + text("cmdPlay").remove(u'&')).toStdString();
    }
    // Opens a file of two notes, 100 ticks apart at 96 a quarter (or `division`), through the
    // Open button. A terabyte of nothing follows the track, where the loader must not look.
    void open(const char *division = "\0\x60") {
        const std::vector<seq::Entry> song{{seq::kTempoEntry, 0}, {0x643C90, 0}, {0x643C90, 100}};
        smf::writeFile(path("song.mid"), song, smf::DeltaMode::Absolute);
        std::fstream(path("song.mid"), std::ios::in | std::ios::out).seekp(12).write(division, 2);
        // Qt's resize takes 64 bits on every system; MinGW's std::filesystem takes 32 on Windows.
        ASSERT_TRUE(QFile::resize(QString::fromStdString(path("song.mid")), qint64{1} << 40));
        fake.fileDialogs.answers.push_back(path("song.mid"));
        click("cmdNew");
    }
    // The last queued buffer has been played, and the timer looks.
    void finish() {
        script.queued.back()->dwFlags |= MHDR_DONE;
        window.timer_Timer();
    }
    void deliver(std::uint32_t message, std::uint32_t ms = 0) {
        fake.midiIn.deliver(message, ms);
        QCoreApplication::processEvents();
    }

    frmSeq window{state};
};

struct SeqWindow : ::testing::Test, SeqWindowRig {};

// After each button, step or remote messages (hex; several arrive before the window runs): the
// state and Play's caption. The remote control is program changes 125-127 on channel 16 only,
// only when allowed, and recorded first while recording, ending the take. Those held back while
// a message box waits run in order; none runs after Close.
TEST_F(SeqWindow, FollowsItsStateTableByButtonsAndRemoteControl) {
    // clang-format off
    const std::pair<const char *, const char *> steps[] = {
        {"open", "Ready Play"}, {"cmdPlay", "Playing Pause"}, {"cmdPlay", "Paused Play"},
        {"cmdPlay", "Playing Pause"}, {"cmdStop", "Ready Play"}, {"cmdPlay", "Playing Pause"},
        {"finish", "Ready Play"}, {"cmdNew", "Idle Play"}, {"cmdStop", "Idle Play"},
        {"cmdPlay", "Idle Play"}, {"cmdRecord", "Recording Play"}, {"cmdPlay", "Playing Pause"},
        {"cmdRecord", "Recording Play"}, {"cmdStop", "Ready Play"}, {"cmdRecord", "Recording Play"},
        {"cmdNew", "Idle Play"}, {"open", "Ready Play"}, {"7FCF", "Ready Play"},
        {"allow", "Ready Play"}, {"cmdSave", "Recording Play"}, {"7FCF", "Playing Pause"},
        {"7FC0", "Playing Pause"}, {"7DCE", "Playing Pause"}, {"7FCF", "Paused Play"},
        {"7FCF", "Playing Pause"}, {"7DCF", "Ready Play"},
        {"7ECF", "Recording Play"}, {"643C90", "Recording Play"}, {"F8", "Recording Play"},
        {"7ECF", "Recording Play"}, {"7FC5", "Recording Play"}, {"7DCF 403C80", "Ready Play"},
        {"7FCF cmdClose", "Ready Play"}};
    // clang-format on
    // Save refuses the loaded file; meanwhile a remote Play is held back, and a Record comes.
    fake.messages.onShow = [&](const std::string &) {
        deliver(0x7FCF);
        fake.midiIn.deliver(0x7ECF, 0);
    };
    for (auto [action, expected] : steps) {
        std::istringstream words(action);
        for (std::string step; words >> step;) {
            if (step == "open")
                open();
            else if (step == "finish")
                finish();
            else if (step == "allow")
                window.findChild<QCheckBox *>(QStringLiteral("chkControl"))->setChecked(true);
            else if (step.starts_with("cmd"))
                click(step.c_str()); // a file dialog here is cancelled
            else
                fake.midiIn.deliver(std::stoul(step, nullptr, 16), 0);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(shown(), expected) << action;
    }
    // The second Record dropped the first recording; the Stop is the last entry.
    std::vector<std::int32_t> events;
    for (const seq::Entry &entry : seq::buffer().entries())
        events.push_back(entry.event);
    EXPECT_EQ(events, (std::vector<std::int32_t>{seq::kTempoEntry, 0x7FC5, 0x7DCF}));
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("So sorry, but you can only save what's recorded"));
}

// Entries (the loaded file's tempo entry included) -> buffers queued, bytes in the last, the
// entry in the last record: 100 full buffers hold entries 0 to 533199. The first record is the
// tempo entry's.
TEST_F(SeqWindow, FillsBuffersOf5332RecordsUpTo100) {
    const std::array<std::int64_t, 4> cases[] = {
        {5, 1, 60, 4}, {5332, 1, 63984, 5331}, {5333, 2, 12, 5332}, {533201, 100, 63984, 533199}};
    for (auto [entries, buffers, lastBytes, lastEntry] : cases) {
        open();
        for (auto count = seq::buffer().capCount(); count < entries; ++count)
            seq::buffer().capAppend(std::int32_t(count << 8 | 0x90), 1);
        script.queued.clear();
        click("cmdPlay");
        ASSERT_EQ(script.queued.size(), std::size_t(buffers));
        EXPECT_EQ(script.queued.back()->dwBytesRecorded, lastBytes);
        EXPECT_EQ(std::string(script.queued[0]->lpData, 12),
                  std::string("\0\0\0\0\0\0\0\0\x20\xA1\x07\x01", 12));
        std::uint32_t last = 0;
        std::memcpy(&last, script.queued.back()->lpData + lastBytes - 4, 4);
        EXPECT_EQ(last, std::uint32_t(lastEntry) << 8 | 0x90);
        script.calls.clear();
        click("cmdStop"); // every header is taken back between stopping and closing
        EXPECT_EQ(script.calls, "stop" +
                                    QStringLiteral("|unprep").repeated(int(buffers)).toStdString() +
                                    "|close");
    }
}

// An SMPTE division (25 frames a second, 40 ticks a frame) reaches the stream as the file's 16
// bits, not widened with its sign.
TEST_F(SeqWindow, PassesAnSmpteDivisionAsTheFileHasIt) {
    open("\xE7\x28");
    click("cmdPlay");
    EXPECT_THAT(script.calls, testing::StartsWith("open|division 59176|"));
}

// Input faults show when the window opens, stream faults when Play starts; Stop recovers from
// either.
TEST(SeqWindowFaults, AreReportedAndStopRecovers) {
    const std::array<const char *, 4> cases[] = {
        // fault, message, state, stream calls
        {"busy", "Oops, the MIDI input device is already open", "Playing Pause",
         "open|division 96|prep|out|restart"},
        {"open", "Error opening MIDI output device", "Ready Play", "open"},
        {"restart", "Error in midistreamrestart", "Playing Pause",
         "open|division 96|prep|out|restart|stop|unprep|close"}};
    for (auto [fault, message, state, calls] : cases) {
        SeqWindowRig rig(fault == std::string("busy"));
        rig.script.answers[fault] = {11, ""};
        rig.open();
        rig.click("cmdPlay");
        EXPECT_THAT(rig.fake.messages.texts, ElementsAre(message));
        EXPECT_EQ(rig.shown() + "|" + rig.script.calls, std::string(state) + "|" + calls);
        rig.click("cmdStop");
        EXPECT_EQ(rig.shown(), "Ready Play");
    }
}

// Play shows where it is and ends by itself or by Stop. Save puts the window away with its input
// open; Close closes it, and the next showing opens it again.
TEST_F(SeqWindow, PlaysRecordsSavesAndClosesItsInput) {
    open();
    const auto &asked = fake.fileDialogs.shown.at(0).request;
    EXPECT_EQ(asked.filter + "|" + std::to_string(asked.filterIndex) + "|" + asked.initDir,
              "MIDI Files (*.mid)|*.mid|1|" + dir.path().toStdString());
    click("cmdPlay");
    script.positionMs = 65000;
    window.timer_Timer();
    EXPECT_EQ(text("lblTime"), QStringLiteral("1:05"));
    finish(); // ended by itself: the position of the closed stream reads 0
    EXPECT_EQ(text("lblTime"), QStringLiteral("0:00"));
    // The lead-in before the first event, and the wait for the last ones to sound.
    EXPECT_EQ(fake.clock.sleeps, std::vector(2, std::chrono::milliseconds(500)));
    click("cmdPlay");
    click("cmdStop"); // stopped by the user
    EXPECT_EQ(text("lblTime"), QString());
    click("cmdSave");
    EXPECT_THAT(fake.messages.texts,
                ElementsAre("So sorry, but you can only save what's recorded"));
    click("cmdRecord");
    deliver(0x00643C90, 1500);
    deliver(0x00403C80, 2000);
    deliver(0x00403E80, 2250);
    window.timer_Timer();
    EXPECT_EQ(text("lblEvents"), QStringLiteral("4"));
    script.calls.clear();
    click("cmdPlay"); // ends the take and plays it at once, a tick a millisecond
    EXPECT_EQ(script.calls, "open|division 500|prep|out|restart");
    fake.fileDialogs.answers = {std::nullopt, path("take.mid")};
    click("cmdSave");
    EXPECT_TRUE(window.isVisible());
    click("cmdSave");
    EXPECT_FALSE(window.isVisible());
    std::ifstream written(path("take.mid"), std::ios::binary);
    const std::vector<seq::Entry> deltas{
        {seq::kTempoEntry, 0}, {0x00643C90, 0}, {0x00403C80, 500}, {0x00403E80, 250}};
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(written), {}),
              smf::encode(deltas, smf::DeltaMode::Stored).bytes);
    window.show();
    click("cmdClose");
    EXPECT_FALSE(window.isVisible());
    window.show();
    EXPECT_THAT(fake.midiIn.calls,
                ElementsAre("open 0", "start 1", "close 1", "open 0", "start 2"));
}

} // namespace
} // namespace parlet
