#include "shellWait.h"

#include "ui_shellWait.h"

#include <QScrollBar>
#include <QTextCharFormat>

namespace parlet {

shellWait::shellWait(Platform &platform, QWidget &parent)
    : QDialog(&parent), m_platform(platform), m_ui(std::make_unique<Ui::shellWait>()) {
    m_ui->setupUi(this);
    connect(m_ui->txtInput, &QLineEdit::returnPressed, this, &shellWait::txtInput_Return);
    m_platform.processes.SetOutputHandler(
        [this](HANDLE process, const std::string &text, bool isError) {
            appendOutput(process, text, isError);
        });
}

shellWait::~shellWait() {
    m_platform.processes.SetOutputHandler({});
}

void shellWait::ExecCmd(const std::string &cmdline) {
    shellBusy = true;
    m_ui->txtOutput->clear();
    m_ui->txtInput->clear();
    procInfo = {};
    // A failed start leaves procInfo without handles; the first poll reports it.
    m_platform.processes.CreateProcessA(cmdline, procInfo);
    m_watching = true;
    m_ui->txtInput->setFocus();
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

void shellWait::appendOutput(HANDLE process, const std::string &text, bool isError) {
    // Output of a process whose window was closed earlier is not this command's.
    if (!m_watching || process != procInfo.hProcess)
        return;
    QScrollBar *bar = m_ui->txtOutput->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(m_ui->txtOutput->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    if (isError)
        format.setForeground(QColor(Qt::red));
    QString chunk = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    chunk.remove(QLatin1Char('\r'));
    cursor.insertText(chunk, format);
    if (atEnd)
        bar->setValue(bar->maximum());
}

void shellWait::txtInput_Return() {
    if (!m_watching)
        return;
    std::string line = m_ui->txtInput->text().toLocal8Bit().toStdString();
    line += '\n';
    m_platform.processes.WriteStdin(procInfo.hProcess, line);
    m_ui->txtInput->clear();
}

} // namespace parlet
