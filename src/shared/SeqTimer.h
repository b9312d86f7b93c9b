#pragma once
#include <QObject>

#include <array>
#include <functional>

class QTimer;

namespace parlet {

// The main window's one-second timer. Disabled until a command, a playback or a capture starts
// it; each tick runs the subsystems' duties in a fixed order, each deciding for itself whether
// it has anything to do.
class SeqTimer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SeqTimer)

  public:
    enum class Duty { CaptureDisplay, MciDisplay, ToolPoll };

    explicit SeqTimer(QObject *parent = nullptr);
    ~SeqTimer() override;

    void setDuty(Duty duty, std::function<void()> run);
    void start(); // interval 1000 ms
    void stop();
    bool isActive() const;
    int interval() const;

    void seqTimer_Timer();

  private:
    QTimer *m_timer;
    std::array<std::function<void()>, 3> m_duties;
};

} // namespace parlet
