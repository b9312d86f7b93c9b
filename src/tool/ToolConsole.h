#pragma once
#include "platform/Processes.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>

namespace Ui {
class ToolConsole;
}

namespace parlet {

// The tool's own console window: what it writes (standard error in red) and a line whose text
// goes to its input on Enter. It lives as long as the process and closes itself at the end,
// unless it was asked to stay (the batch file's "keep the window open"); then it keeps the last
// output until the user closes it. Closing it while the tool runs ends the tool.
class ToolConsole final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolConsole)

  public:
    ToolConsole(Processes &processes, HANDLE process, const std::string &cmdline, bool keepOpen,
                QWidget &parent);
    ~ToolConsole() override;

    void appendOutput(const std::string &text, bool isError);
    void processEnded();
    bool running() const { return m_running; }

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void txtInput_Return();

    Processes &m_processes;
    HANDLE m_process;
    bool m_keepOpen;
    bool m_running = true;
    std::unique_ptr<Ui::ToolConsole> m_ui;
};

// The consoles of the tool processes started in this run, fed by the platform's process reports.
class ToolConsoles final {
  public:
    ToolConsoles(Processes &processes, const QWidget &mainWindow);
    ~ToolConsoles();
    ToolConsoles(const ToolConsoles &) = delete;
    ToolConsoles &operator=(const ToolConsoles &) = delete;

    // Shows a console for a process just started. It is a window of its own, owned by `parent`
    // so that it stays usable while `parent` is modal.
    void open(HANDLE process, const std::string &cmdline, bool keepOpen, QWidget &parent);
    // Closes every console, which ends the tools still running.
    void closeAll();

  private:
    Processes &m_processes;
    const QWidget &m_mainWindow;
    std::map<HANDLE, QPointer<ToolConsole>> m_consoles;
};

} // namespace parlet
