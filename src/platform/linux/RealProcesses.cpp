// Child processes through QProcess: the command line is split by the Windows rules and started
// directly, without a shell, so the tool sees the arguments it would see on Windows.
#include "common/CommandLine.h"
#include "platform/RealServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include <signal.h>
#include <unistd.h>

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

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kEndGrace = 2s;

// Every process runs in a process group of its own (its id is the leader's), so that ending it
// ends what it started too, as closing a console does: a batch file's tool with the batch file.
void signalGroup(qint64 leader, int signal) {
    if (leader > 0)
        ::kill(-static_cast<pid_t>(leader), signal);
}

class QtProcesses final : public Processes {
  public:
    ~QtProcesses() override {
        for (auto &[handle, entry] : m_entries) {
            if (entry.process->state() == QProcess::NotRunning)
                continue;
            entry.process->disconnect();
            if (entry.endBy) { // asked to stop: wait out the rest of its grace, then kill
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(*entry.endBy - Clock::now());
                entry.process->waitForFinished(
                    static_cast<int>(std::max<std::int64_t>(left.count(), 1)));
                signalGroup(entry.pid, SIGKILL);
            } else { // never asked: left to run, as on Windows
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
        QObject::connect(raw, &QProcess::finished, raw, [this, handle] {
            if (m_endHandler)
                m_endHandler(handle);
        });
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        process->start(program, arguments);
        if (!process->waitForStarted())
            return false;

        m_next += 2;
        info.hProcess = handle;
        info.hThread = handle + 1;
        info.dwProcessId = static_cast<std::uint32_t>(process->processId());
        info.dwThreadId = info.dwProcessId;
        m_entries.emplace(handle, Entry{std::move(process), raw->processId(), true, true, {}});
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

    bool OpensOwnConsole() const override { return false; }

    void SetOutputHandler(OutputHandler output, EndHandler end) override {
        m_handler = std::move(output);
        m_endHandler = std::move(end);
    }

    void WriteStdin(HANDLE handle, const std::string &text) override {
        auto entry = m_entries.find(handle);
        if (entry != m_entries.end() && entry->second.process->state() == QProcess::Running)
            entry->second.process->write(text.data(), static_cast<qint64>(text.size()));
    }

    void EndProcess(HANDLE handle) override {
        auto entry = m_entries.find(handle);
        if (entry == m_entries.end() || entry->second.endBy ||
            entry->second.process->state() == QProcess::NotRunning)
            return;
        const qint64 leader = entry->second.pid;
        entry->second.endBy = Clock::now() + kEndGrace;
        signalGroup(leader, SIGTERM);
        // Not tied to the process object: what it started may outlive it.
        QTimer::singleShot(kEndGrace, [leader] { signalGroup(leader, SIGKILL); });
    }

  private:
    struct Entry {
        std::unique_ptr<QProcess> process;
        qint64 pid;
        bool processOpen;
        bool threadOpen;
        std::optional<Clock::time_point> endBy; // set once it was asked to stop
    };

    void deliver(HANDLE handle, const QByteArray &bytes, bool isError) {
        if (m_handler && !bytes.isEmpty())
            m_handler(handle, bytes.toStdString(), isError);
    }

    std::map<HANDLE, Entry> m_entries;
    HANDLE m_next = 4; // even: process handles; the thread handle is the next odd number
    OutputHandler m_handler;
    EndHandler m_endHandler;
};

} // namespace

std::unique_ptr<Processes> makeRealProcesses() {
    return std::make_unique<QtProcesses>();
}

} // namespace parlet
