// Play through the real MIDI system: a second JACK client receives what the playing window
// plays, at 100 % and after one "Faster".
#include "JackServer.h"
#include "fakes/FakePlatform.h"
#include "platform/RealServices.h"
#include "platform/stream/StreamTestData.h"
#include "player/MciPlayer.h"
#include "player/frmPlaying.h"
#include "shared/MainState.h"

#include <QTimer>

#include <fstream>

namespace parlet {
namespace {

using namespace std::literals;

class RealPlayback : public test::JackTest {};

TEST_F(RealPlayback, AFilePlaysAtItsIntervalsAndFinishedStopsAndClosesIt) {
    test::JackTestClient tester("tester");
    ASSERT_TRUE(tester.ok());
    auto midi = makeRealMidiSystem();
    auto mci = makeRealMci(*midi);
    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.midiStream, *mci,      fake.processes,
                      fake.folders, fake.fileDialogs, fake.messages,   fake.clock};
    QWidget window;
    SeqTimer timer;
    MainState state{platform, window, timer};
    MciPlayer player(state);
    state.midiOutDev = 0; // the tester's sink, the only one

    // 480 ticks a quarter at 120 beats a minute; Finished comes before the last note.
    const std::vector<std::uint32_t> deltas{480, 120, 200, 90, 300, 150, 60, 240, 48000};
    testdata::Track track;
    for (std::size_t i = 0; i < deltas.size(); ++i)
        track.event(deltas[i], {0x90, std::uint8_t(60 + i), 100});
    const auto bytes = testdata::smf(0, 480, {track.end(0)});
    const std::string path = testing::TempDir() + "played.mid";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    const std::size_t timed = deltas.size() - 1;
    for (auto speed : {&frmPlaying::cmdNormal_Click, &frmPlaying::cmdFaster_Click}) {
        std::vector<test::JackTestClient::Received> notes;
        const bool steady = test::runUnstalled(tester, [&] {
            tester.waitReceived(SIZE_MAX, 50ms); // what a spoiled run left behind
            fake.fileDialogs.answers.push_back(path);
            QTimer::singleShot(0, &window, [&] {
                (player.window()->*speed)();
                notes = tester.waitReceived(timed, 5s);
                player.window()->cmdCancel_Click();
            });
            player.SeqPlay_Click();
            return notes.size() == timed;
        });
        if (!steady)
            GTEST_SKIP() << "The JACK server was held up during every run.";
        const double factor = speed == &frmPlaying::cmdFaster_Click ? 0.8 : 1.0;
        for (std::size_t i = 1; i < timed; ++i)
            EXPECT_NEAR(double(notes[i].usecs - notes[i - 1].usecs) / 1000,
                        deltas[i] * 500.0 / 480 * factor,
                        1000.0 * test::JackServer::periodFrames / test::JackServer::sampleRate)
                << "at " << 100 / factor << " %, before note " << i;
        EXPECT_EQ(mci->mciSendStringA("status midio mode", nullptr, 0, 0),
                  MCIERR_INVALID_DEVICE_NAME)
            << "Finished has stopped and closed the device";
        EXPECT_TRUE(fake.messages.texts.empty());
    }
}

} // namespace
} // namespace parlet
