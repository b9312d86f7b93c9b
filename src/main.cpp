#include "app/MainForm.h"
#include "platform/RealPlatform.h"
#ifdef _WIN32
#include "app/windows/RunningMark.h"
#else
#include "app/TerminationSignals.h"
#endif

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <thread>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // No display name: the window system would add it to every window's caption. Message boxes
    // take the application name as their title.
    QApplication::setApplicationName(QStringLiteral("Parlet"));
    QApplication::setOrganizationName(QStringLiteral("Vellmark"));
    // Every window's title bar and the taskbar; on Windows, Explorer takes the executable's own.
    QIcon icon;
    const QFileInfoList iconFiles = QDir(QStringLiteral(":/icon")).entryInfoList();
    for (const QFileInfo &file : iconFiles)
        icon.addFile(file.filePath());
    QApplication::setWindowIcon(icon);
#ifdef _WIN32
    parlet::markRunning();
#else
    // SIGTERM and SIGINT close the program as its close box does: nothing is saved.
    parlet::TerminationSignals termination;
#endif

    parlet::RealPlatform realPlatform;
    // Reaching the MIDI system (the JACK client above all) takes as long as building the window,
    // so both happen at once; start-up reads the device list only after the warm-up has ended.
    std::thread warmUp([&devices = realPlatform.platform().devices] {
        devices.midiInGetNumDevs();
        devices.midiOutGetNumDevs();
    });
    parlet::MainForm mainForm(realPlatform.platform());
    warmUp.join();
#ifndef _WIN32
    QObject::connect(&termination, &parlet::TerminationSignals::terminationRequested, &mainForm,
                     &parlet::MainForm::closeWithoutSaving);
#endif
    if (!mainForm.Form_Load())
        return 0;
    mainForm.show();
    return QApplication::exec();
}
