// Child processes through QProcess: the command line is split by the Windows rules and started
// directly, without a shell, so the tool sees the arguments it would see on Windows.
#include "RealServices.h"
#include "common/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <map>
#include <memory>

namespace parlet {
namespace {

QString local(const std::string &text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The program's own folder first, then the current folder, then the search path. A name with a
// folder in it is taken as it stands, relative to the current folder.
QString findProgram(const QString &name) {
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/'))) {
        QFileInfo file(QDir::current(), name);
        return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
    }
    for (const QString &folder : {QCoreApplication::applicationDirPath(), QDir::currentPath()}) {
        QString found = QStandardPaths::findExecutable(name, {folder});
        if (!found.isEmpty())
            return found;
    }
    return QStandardPaths::findExecutable(name);
}

class QtProcesses final : public Processes {
  public:
    ~QtProcesses() override {
        // Processes still running when the program ends are left to run, as on Windows.
        for (auto &[handle, entry] : m_entries) {
            if (entry.process->state() != QProcess::NotRunning) {
                entry.process->disconnect();
                entry.process.release()->setParent(nullptr);
            }
        }
    }

    bool CreateProcessA(const std::string &commandLine, PROCESS_INFORMATION &info) override {
        info = {};
        std::vector<std::string> words = splitCommandLine(commandLine);
        if (words.empty())
            return false;
        QString program = findProgram(local(words.front()));
        if (program.isEmpty())
            return false;
        QStringList arguments;
        for (std::size_t i = 1; i < words.size(); ++i)
            arguments.append(local(words[i]));

        auto process = std::make_unique<QProcess>();
        const HANDLE handle = m_next;
        QProcess *raw = process.get();
        QObject::connect(raw, &QProcess::readyReadStandardOutput, raw, [this, raw, handle] {
            deliver(handle, raw->readAllStandardOutput(), false);
        });
        QObject::connect(raw, &QProcess::readyReadStandardError, raw, [this, raw, handle] {
            deliver(handle, raw->readAllStandardError(), true);
        });
        process->start(program, arguments);
        if (!process->waitForStarted())
            return false;

        m_next += 2;
        info.hProcess = handle;
        info.hThread = handle + 1;
        info.dwProcessId = static_cast<std::uint32_t>(process->processId());
        info.dwThreadId = info.dwProcessId;
        m_entries.emplace(handle, Entry{std::move(process), true, true});
        return true;
    }

    std::uint32_t WaitForSingleObject(HANDLE handle, std::uint32_t) override {
        auto entry = m_entries.find(handle);
        if (entry == m_entries.end() || !entry->second.processOpen)
            return WAIT_FAILED;
        return entry->second.process->state() == QProcess::NotRunning ? WAIT_OBJECT_0
                                                                      : WAIT_TIMEOUT;
    }

    bool CloseHandle(HANDLE handle) override {
        if (handle == 0)
            return false;
        const bool isThread = handle % 2 == 1;
        auto entry = m_entries.find(isThread ? handle - 1 : handle);
        if (entry == m_entries.end())
            return false;
        bool &open = isThread ? entry->second.threadOpen : entry->second.processOpen;
        if (!open)
            return false;
        open = false;
        if (!entry->second.threadOpen && !entry->second.processOpen) {
            // A process whose handles are closed while it runs goes on without us.
            if (entry->second.process->state() != QProcess::NotRunning) {
                entry->second.process->disconnect();
                entry->second.process.release()->setParent(nullptr);
            }
            m_entries.erase(entry);
        }
        return true;
    }

    void SetOutputHandler(OutputHandler handler) override { m_handler = std::move(handler); }

    void WriteStdin(HANDLE handle, const std::string &text) override {
        auto entry = m_entries.find(handle);
        if (entry != m_entries.end() && entry->second.process->state() == QProcess::Running)
            entry->second.process->write(text.data(), static_cast<qint64>(text.size()));
    }

  private:
    struct Entry {
        std::unique_ptr<QProcess> process;
        bool processOpen;
        bool threadOpen;
    };

    void deliver(HANDLE handle, const QByteArray &bytes, bool isError) {
        if (m_handler && !bytes.isEmpty())
            m_handler(handle, bytes.toStdString(), isError);
    }

    std::map<HANDLE, Entry> m_entries;
    HANDLE m_next = 4; // even: process handles; the thread handle is the next odd number
    OutputHandler m_handler;
};

} // namespace

std::unique_ptr<Processes> makeRealProcesses() {
    return std::make_unique<QtProcesses>();
}

} // namespace parlet
