#pragma once
#include "platform/Platform.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class shellWait;
}

namespace parlet {

// The modal window shown while a tool command runs. Its close box is its only way out: Escape
// does not close it.
class shellWait final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(shellWait)

  public:
    // Told of each process that started, before the window shows.
    using StartedHandler = std::function<void(HANDLE process, const std::string &cmdline)>;

    shellWait(Platform &platform, QWidget &parent, StartedHandler started);
    ~shellWait() override;

    // Starts `cmdline` and shows the window modally; returns when the window has been hidden by
    // the poll or closed by the user. A process left running by a closed window is not ended.
    void ExecCmd(const std::string &cmdline);
    // One poll of the running process, from the main window's timer.
    void testEnd();

    // True from the start of ExecCmd until its window has closed.
    bool shellBusy = false;
    PROCESS_INFORMATION procInfo;

  protected:
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void closeHandles();

    Platform &m_platform;
    StartedHandler m_started;
    std::unique_ptr<Ui::shellWait> m_ui;
    // Set while this command's end has not been seen; each command is reported once.
    bool m_watching = false;
};

} // namespace parlet
