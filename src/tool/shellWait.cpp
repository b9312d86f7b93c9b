#include "shellWait.h"

#include "ui_shellWait.h"

#include <QKeyEvent>

namespace parlet {

shellWait::shellWait(Platform &platform, QWidget &parent, StartedHandler started)
    : QDialog(&parent), m_platform(platform), m_started(std::move(started)),
      m_ui(std::make_unique<Ui::shellWait>()) {
    m_ui->setupUi(this);
}

shellWait::~shellWait() = default;

void shellWait::ExecCmd(const std::string &cmdline) {
    shellBusy = true;
    procInfo = {};
    // A failed start leaves procInfo without handles; the first poll reports it.
    if (m_platform.processes.CreateProcessA(cmdline, procInfo) && m_started)
        m_started(procInfo.hProcess, cmdline);
    m_watching = true;
    exec();
    // Closed by hand: the process runs on unwatched and its handles stay open.
    m_watching = false;
    shellBusy = false;
}

void shellWait::testEnd() {
    if (!m_watching)
        return;
    auto &processes = m_platform.processes;
    const std::uint32_t result = processes.WaitForSingleObject(procInfo.hProcess, 0);
    if (result == WAIT_OBJECT_0) {
        m_watching = false;
        closeHandles();
        hide();
    } else if (result == WAIT_FAILED) {
        m_watching = false;
        closeHandles();
        hide();
        m_platform.messages.MsgBox(
            "Shell failed. Is the current directory set to the location of this executable?");
    }
}

void shellWait::closeHandles() {
    auto &processes = m_platform.processes;
    if (procInfo.hThread != 0)
        processes.CloseHandle(procInfo.hThread);
    if (procInfo.hProcess != 0)
        processes.CloseHandle(procInfo.hProcess);
    procInfo = {};
}

void shellWait::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace parlet
