#pragma once
#include "platform/Platform.h"

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class shellWait;
}

namespace parlet {

// The modal window shown while a tool command runs. Where the tool has no console of its own,
// the window shows what it writes (standard error in red) and passes typed lines to its input.
class shellWait final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(shellWait)

  public:
    shellWait(Platform &platform, QWidget &parent);
    ~shellWait() override;

    // Starts `cmdline` and shows the window modally; returns when the window has been hidden by
    // the poll or closed by the user. A process left running by a closed window is not ended.
    void ExecCmd(const std::string &cmdline);
    // One poll of the running process, from the main window's timer.
    void testEnd();

    // True from the start of ExecCmd until its window has closed.
    bool shellBusy = false;
    PROCESS_INFORMATION procInfo;

  private:
    void appendOutput(HANDLE process, const std::string &text, bool isError);
    void txtInput_Return();
    void closeHandles();

    Platform &m_platform;
    std::unique_ptr<Ui::shellWait> m_ui;
    // Set while this command's end has not been seen; each command is reported once.
    bool m_watching = false;
};

} // namespace parlet
