// The Windows implementations of the MCI sequencer, processes and folders against the system's own
// services (the MIDI devices, input and stream are tried through the test MIDI driver, in
// tests/player/RealMidiWindowsTest.cpp).
#include "fakes/FakePlatform.h"
#include "platform/RealServices.h"
#include "player/PlayerRig.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <chrono>
#include <thread>

// After our headers: the system's define some of the same names as macros.
#include "platform/windows/WinMm.h"

namespace parlet {
namespace {

using namespace std::chrono_literals;

struct RealServices {
    std::unique_ptr<MidiSystem> midi = makeRealMidiSystem();
    std::unique_ptr<Mci> mci = makeRealMci(*midi);
    std::unique_ptr<Processes> processes = makeRealProcesses();
    std::unique_ptr<Folders> folders = makeRealFolders();
};

class WindowsPlatform : public testing::Test {
  protected:
    std::string write(const char *name, const QByteArray &bytes) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return QDir::toNativeSeparators(file.fileName()).toStdString();
    }

    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/Łódź Москва 東京-XXXXXX")};
    RealServices real;
};

// The sequencer device's own words for a file that is missing and for one that is not a MIDI
// file reach the user as the player's messages, one each. (Playing through it, on the test MIDI
// driver's output, is tried with the capture in tests/player/RealMidiWindowsTest.cpp.)
TEST_F(WindowsPlatform, TheMciSequencersErrorsReachTheUser) {
    Mci &mci = *real.mci;
    fakes::FakePlatform fake;
    Platform platform{fake.devices, fake.midiIn,      fake.script,   mci,       fake.processes,
                      fake.folders, fake.fileDialogs, fake.messages, fake.clock};
    test::PlayerRig rig{platform};
    rig.state.midiOutDev = -1;
    std::vector<std::string> expected;
    for (const std::string &file :
         {QDir::toNativeSeparators(dir.filePath(QStringLiteral("missing.mid"))).toStdString(),
          write("text.mid", "not a MIDI file")}) {
        const std::string failing = "open \"" + file + "\" type sequencer alias midio";
        std::string reason;
        ASSERT_TRUE(
            mci.mciGetErrorStringA(mci.mciSendStringA(failing, nullptr, 0, 0), reason, 80) &&
            !reason.empty())
            << file;
        fake.fileDialogs.answers.push_back(file);
        rig.player.SeqPlay_Click();
        expected.push_back("Command \"" + failing + "\" failed\r\n" + reason);
    }
    EXPECT_EQ(fake.messages.texts, expected);
}

// A process in a console of its own is polled to its end and its handles closed once; a program
// that cannot be found does not start; a batch file runs through the command interpreter.
TEST_F(WindowsPlatform, AToolRunsInItsOwnConsoleAndIsPolledToItsEnd) {
    Processes &processes = *real.processes;
    EXPECT_TRUE(processes.OpensOwnConsole());
    auto waitForEnd = [&](HANDLE process) {
        QDeadlineTimer deadline(20s);
        while (processes.WaitForSingleObject(process, 0) == WAIT_TIMEOUT && !deadline.hasExpired())
            std::this_thread::sleep_for(20ms);
        return processes.WaitForSingleObject(process, 0);
    };
    PROCESS_INFORMATION info;
    ASSERT_TRUE(processes.CreateProcessA("korrel -i 0 -o 0 -R", info));
    EXPECT_EQ(waitForEnd(info.hProcess), WAIT_OBJECT_0);
    EXPECT_TRUE(processes.CloseHandle(info.hThread) && processes.CloseHandle(info.hProcess));
    EXPECT_EQ(processes.WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);

    EXPECT_FALSE(processes.CreateProcessA("no-such-tool -i 0 -o 0 -R", info));
    EXPECT_EQ(info.hProcess, 0);

    // Without a console to type into (headless, here) the batch file's pause returns at once.
    ASSERT_TRUE(processes.CreateProcessA("korrel.bat -i 0 -o 0 -R", info));
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ::QueryFullProcessImageNameA(reinterpret_cast<::HANDLE>(info.hProcess), 0, image, &size);
    EXPECT_THAT(image, testing::EndsWith("\\cmd.exe"));
    EXPECT_EQ(waitForEnd(info.hProcess), WAIT_OBJECT_0);
    EXPECT_TRUE(processes.CloseHandle(info.hThread) && processes.CloseHandle(info.hProcess));
}

// With the UTF-8 code page that the programs' manifest asks for, the 8-bit calls carry any
// letter (every test here works in a folder named in three scripts, and the MIDI tests play their
// files from one): the tool, which has the manifest too, gets a path as it was written.
TEST_F(WindowsPlatform, NamesInAnyScriptReachTheTool) {
    ASSERT_EQ(::GetACP(), 65001u) << "the program runs without its manifest";
    const std::string config = write("Żółw ёж.cfg", "");
    QProcess korrel;
    korrel.start(QCoreApplication::applicationDirPath() + QStringLiteral("/korrel.exe"),
                 {QStringLiteral("-P"), QString::fromStdString(config)});
    EXPECT_TRUE(korrel.waitForFinished(20000));
    EXPECT_THAT(korrel.readAllStandardOutput().toStdString(),
                testing::HasSubstr("file \"" + config + "\""));
}

// The shell's folders, and the current folder changed and read back.
TEST_F(WindowsPlatform, TheFoldersResolve) {
    Folders &folders = *real.folders;
    std::string appData;
    std::string documents;
    ASSERT_EQ(folders.SHGetFolderPathA(CSIDL_APPDATA, appData), 0);
    ASSERT_EQ(folders.SHGetFolderPathA(CSIDL_PERSONAL, documents), 0);
    EXPECT_THAT(appData, testing::MatchesRegex(R"(C:\\users\\.+\\AppData\\Roaming)"));
    EXPECT_THAT(documents, testing::MatchesRegex(R"(C:\\users\\.+\\Documents)"));
    const std::string previous = folders.CurDir();
    const std::string here = QDir::toNativeSeparators(dir.path()).toStdString();
    EXPECT_TRUE(folders.ChDir(here));
    EXPECT_EQ(folders.CurDir(), here);
    EXPECT_FALSE(folders.ChDir(here + "\\no such folder"));
    EXPECT_EQ(folders.CurDir(), here);
    folders.ChDir(previous);
}

// Where winmm's records and calls are wider than the program's.
TEST(WindowsMultimedia, ValuesPassAtTheirOwnWidth) {
    EXPECT_EQ(winDeviceId(-1), UINT_PTR{MIDI_MAPPER});

    // A name that fills its field up to the end of readable memory.
    auto *page = static_cast<char *>(
        ::VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD was = 0;
    ASSERT_TRUE(page && ::VirtualProtect(page + 4096, 4096, PAGE_NOACCESS, &was));
    auto &field = *reinterpret_cast<char(*)[32]>(page + 4096 - 32);
    std::fill(std::begin(field), std::end(field), 'x');
    std::array<char, 32> name{};
    copyName(name, field);
    EXPECT_EQ(std::string(name.data()), std::string(31, 'x'));
    ::VirtualFree(page, 0, MEM_RELEASE);

    // A position answered in ticks is no number of milliseconds.
    ::MMTIME reply{TIME_TICKS, {1234}};
    std::uint32_t ms = 7;
    EXPECT_FALSE(positionMs(reply, ms) || ms != 7);
    reply.wType = TIME_MS;
    EXPECT_TRUE(positionMs(reply, ms) && ms == 1234);
}

} // namespace
} // namespace parlet
