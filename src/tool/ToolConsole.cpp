#include "ToolConsole.h"

#include "ui_ToolConsole.h"

#include <QCloseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextCharFormat>

#include <algorithm>

namespace parlet {

ToolConsole::ToolConsole(Processes &processes, HANDLE process, const std::string &cmdline,
                         bool keepOpen, QWidget &parent)
    : QWidget(&parent, Qt::Window), m_processes(processes), m_process(process),
      m_keepOpen(keepOpen), m_ui(std::make_unique<Ui::ToolConsole>()) {
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The wait window that comes up next is the active one; the user clicks here to answer.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString::fromLocal8Bit(cmdline.data(), static_cast<qsizetype>(cmdline.size())));
    connect(m_ui->txtInput, &QLineEdit::returnPressed, this, &ToolConsole::txtInput_Return);
}

ToolConsole::~ToolConsole() = default;

void ToolConsole::appendOutput(const std::string &text, bool isError) {
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

void ToolConsole::processEnded() {
    m_running = false;
    m_ui->txtInput->setEnabled(false);
    if (!m_keepOpen)
        close();
}

void ToolConsole::closeEvent(QCloseEvent *event) {
    if (m_running)
        m_processes.EndProcess(m_process);
    event->accept();
}

void ToolConsole::txtInput_Return() {
    if (!m_running)
        return;
    const std::string line = m_ui->txtInput->text().toLocal8Bit().toStdString() + '\n';
    appendOutput(line, false); // echoed, as a console does
    m_processes.WriteStdin(m_process, line);
    m_ui->txtInput->clear();
}

ToolConsoles::ToolConsoles(Processes &processes, const QWidget &mainWindow)
    : m_processes(processes), m_mainWindow(mainWindow) {
    processes.SetOutputHandler(
        [this](HANDLE process, const std::string &text, bool isError) {
            if (auto console = m_consoles.find(process);
                console != m_consoles.end() && console->second)
                console->second->appendOutput(text, isError);
        },
        [this](HANDLE process) {
            auto console = m_consoles.find(process);
            if (console == m_consoles.end())
                return;
            if (console->second)
                console->second->processEnded();
            m_consoles.erase(console);
        });
}

ToolConsoles::~ToolConsoles() {
    m_processes.SetOutputHandler({}, {});
}

void ToolConsoles::open(HANDLE process, const std::string &cmdline, bool keepOpen,
                        QWidget &parent) {
    auto *console = new ToolConsole(m_processes, process, cmdline, keepOpen, parent);
    // Below the main window, clear of the wait window that comes up over it.
    const QRect screen = m_mainWindow.screen()->availableGeometry();
    const QRect main = m_mainWindow.frameGeometry();
    console->move(main.left(), std::min(main.bottom() + 1, screen.bottom() - console->height()));
    console->show();
    m_consoles[process] = console;
}

void ToolConsoles::closeAll() {
    for (auto &[process, console] : m_consoles)
        if (console)
            console->close();
}

} // namespace parlet
