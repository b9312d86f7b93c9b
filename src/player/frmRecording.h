#pragma once
#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui {
class frmRecording;
}

namespace parlet {

struct MainState;

// The capture window (caption "Time"): shows the entry count and the time of the newest entry
// while the main window's input records, and ends the capture with Save or Cancel. Closing it by
// its frame, or with Escape, is a Cancel.
class frmRecording final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmRecording)

  public:
    explicit frmRecording(MainState &state);
    ~frmRecording() override;

    void cmdSave_Click();
    void cmdCancel_Click();
    // The timer's display duty: `count` entries, the newest `elapsedMs` after the start.
    void showProgress(std::int64_t count, std::int64_t elapsedMs);

    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override; // the window's activation

  private:
    void stopCapture();

    MainState &m_state;
    std::unique_ptr<Ui::frmRecording> m_ui;
};

} // namespace parlet
