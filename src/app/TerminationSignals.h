#pragma once
#include <QObject>

class QSocketNotifier;

namespace parlet {

// Turns SIGTERM and SIGINT into a signal on the event loop's thread, so that the program can shut
// down as if its window had been closed. From the first one on, every dialog that is open or
// opens later is dismissed, so that no modal loop keeps the program alive. One instance at a time.
class TerminationSignals final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationSignals)

  public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override; // restores the default actions

    bool received() const { return m_received; }

  Q_SIGNALS:
    void terminationRequested();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
    bool m_received = false;
};

} // namespace parlet
