#pragma once
// The player on a state of its own and the means to act inside its modal windows; for the player's
// and the sequencer's window tests, the same on the fake platform with MCI and stream on script.
#include "fakes/FakePlatform.h"
#include "player/Player.h"

#include <QAbstractButton>
#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace parlet::test {

struct PlayerRig {
    explicit PlayerRig(Platform &platform) : state(platform, parent, timer) {}

    // Runs `during` once `open` has shown the modal window `name`. A window still shown
    // afterwards is reported and hidden, so that the test cannot hang.
    void whileShown(void (Player::*open)(), const char *name,
                    const std::function<void(QDialog &)> &during) {
        bool ran = false;
        QTimer::singleShot(0, &parent, [&] {
            auto *window = parent.findChild<QDialog *>(QString::fromUtf8(name));
            ASSERT_TRUE(window && window->isVisible());
            ran = true;
            during(*window);
            EXPECT_FALSE(window->isVisible()) << name << " is still shown";
            window->hide();
        });
        (player.*open)();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(timer.isActive());
    }
    static QString text(const QWidget &window, const char *name) {
        return window.findChild<QWidget *>(QString::fromUtf8(name))->property("text").toString();
    }
    static void click(const QWidget &window, const char *name) {
        QTest::mouseClick(window.findChild<QAbstractButton *>(QString::fromUtf8(name)),
                          Qt::LeftButton);
    }

    QWidget parent;
    SeqTimer timer;
    MainState state;
    Player player{state};
};

// The player on the fake platform with MCI and stream on script, and a folder for its files.
struct FakePlayerRig {
    FakePlayerRig() {
        state.midiInDev = 0;
        state.midDir = dir.path().toStdString();
    }
    std::string path(const char *name) const {
        return dir.filePath(QString::fromUtf8(name)).toStdString();
    }

    QTemporaryDir dir;
    fakes::FakePlatform fake;
    fakes::ScriptedMciAndStream &script = fake.script;
    Platform &platform = fake.platform;
    PlayerRig rig{platform};
    MainState &state = rig.state;
};

} // namespace parlet::test
