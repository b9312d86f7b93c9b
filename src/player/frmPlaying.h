#pragma once
#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class frmPlaying;
}

namespace parlet {

struct MainState;
class MciPlayer;

// The playback window (caption "Playing"): position and length, the speed box with its
// Slower/Normal/Faster steps, Pause/Play, Stop and Finished. Every command goes through the
// player's SeqSendCommand, and the window's state changes whether or not the device accepted it.
class frmPlaying final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmPlaying)

  public:
    frmPlaying(MainState &state, MciPlayer &player);
    ~frmPlaying() override;

    // 0 stopped, 1 playing, 2 paused; the tick sets 0 when the device has stopped.
    int seqoState = 1;
    double playRate = 100;

    // The start of every playback: playing at 100 % with the Pause caption. Sends nothing, as
    // a newly opened device already plays at its nominal tempo.
    void initialise();
    void setTotTime(const std::string &text);
    void setTime(const std::string &text);
    // The device stopped by itself or by Stop: Play starts again from the beginning.
    void deviceStopped();
    bool closedByBox() const { return m_closedByBox; }

    void cmdSlower_Click();
    void cmdNormal_Click();
    void cmdFaster_Click();
    void txtRate_Change();
    void cmdPause_Click();
    void cmdStop_Click();
    void cmdCancel_Click();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void setRateText(const std::string &text);
    void setPauseCaption(const char *caption);

    MainState &m_state;
    MciPlayer &m_player;
    std::unique_ptr<Ui::frmPlaying> m_ui;
    bool m_closedByBox = false;
};

} // namespace parlet
