// The sequencer window on the real MIDI system: a second JACK client plays the keyboard and
// listens to what the window plays.
#include "JackServer.h"
#include "fakes/FakePlatform.h"
#include "platform/RealServices.h"
#include "sequencer/frmSeq.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPushButton>

#include <gtest/gtest.h>

#include <thread>

namespace parlet {
namespace {

using namespace std::literals;
using test::JackServer;

class SeqJack : public test::JackTest {};

TEST_F(SeqJack, RecordsPlaysBackInTimeAndObeysChannel16) {
    test::JackTestClient keyboard("keyboard"), listener("listener");
    ASSERT_TRUE(keyboard.ok() && listener.ok());
    auto midi = makeRealMidiSystem();
    auto streams = makeRealMidiStream(*midi);
    auto clock = makeSteadyClock();
    fakes::FakePlatform fake;
    Platform platform{*midi,          *midi,        *streams,         fake.mci,
                      fake.processes, fake.folders, fake.fileDialogs, fake.messages,
                      *clock};
    QWidget parent;
    SeqTimer seqTimer;
    MainState state{platform, parent, seqTimer};
    for (int i = 0; i < int(std::max(midi->midiInGetNumDevs(), midi->midiOutGetNumDevs())); ++i) {
        MIDIINCAPS in;
        MIDIOUTCAPS out;
        if (midi->midiInGetDevCapsA(i, in) == 0 && in.szPname.data() == "keyboard:out"s)
            state.midiInDev = i;
        if (midi->midiOutGetDevCapsA(i, out) == 0 && out.szPname.data() == "listener:in"s)
            state.midiOutDev = std::int16_t(i);
    }
    ASSERT_TRUE(state.midiInDev >= 0 && state.midiOutDev >= 0);
    seq::buffer().capClear();
    frmSeq window(state);
    window.show();
    auto waitFor = [&](auto done) {
        for (auto end = std::chrono::steady_clock::now() + 5s;
             !done() && std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(1ms))
            QCoreApplication::processEvents();
        return done();
    };
    auto click = [&](const char *name) {
        window.findChild<QPushButton *>(QString::fromUtf8(name))->click();
    };
    window.findChild<QCheckBox *>(QStringLiteral("chkControl"))->setChecked(true);

    // Program changes on channel 1 are only recorded.
    click("cmdRecord");
    constexpr std::uint32_t kApart = 250 * JackServer::sampleRate / 1000;
    const std::uint32_t first = keyboard.frameNow() + JackServer::sampleRate / 10;
    keyboard.sendAt(first, {0x90, 60, 100});
    keyboard.sendAt(first + kApart / 4, {0xC0, 127});
    keyboard.sendAt(first + kApart / 2, {0xC0, 125});
    keyboard.sendAt(first + kApart, {0x90, 64, 100});
    ASSERT_TRUE(waitFor([] { return seq::buffer().capCount() == 5; }));
    EXPECT_EQ(window.state(), frmSeq::seqRecord);
    click("cmdStop");

    click("cmdPlay");
    auto played = listener.waitReceived(4, 3s);
    ASSERT_EQ(played.size(), 4u);
    EXPECT_EQ(played[3].bytes, (std::vector<std::uint8_t>{0x90, 64, 100}));
    EXPECT_NEAR(double(played[3].frame - played[0].frame), kApart, JackServer::periodFrames);
    ASSERT_TRUE(waitFor([&] { return window.state() == frmSeq::seqReady; }));

    const std::pair<std::uint8_t, frmSeq::SeqState> remote[] = {{127, frmSeq::seqPlay},
                                                                {127, frmSeq::seqPause},
                                                                {127, frmSeq::seqPlay},
                                                                {125, frmSeq::seqReady}};
    for (auto [program, expected] : remote) {
        keyboard.sendAt(keyboard.frameNow(), {0xCF, program});
        EXPECT_TRUE(waitFor([&] { return window.state() == expected; })) << int(program);
    }
    EXPECT_TRUE(fake.messages.texts.empty());
}

} // namespace
} // namespace parlet
