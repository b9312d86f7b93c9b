#include <QApplication>
#include <QStandardPaths>

#include <gmock/gmock.h>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>

// A crash ends the test program at once with where it happened, rather than waiting on a debugger
// that Wine would start (which under a loaded test run can hold the test until its time limit).
static LONG WINAPI reportCrash(EXCEPTION_POINTERS *crash) {
    std::fprintf(stderr, "crashed: exception 0x%08lx at %p\n",
                 crash->ExceptionRecord->ExceptionCode, crash->ExceptionRecord->ExceptionAddress);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
#endif

int main(int argc, char *argv[]) {
#ifdef _WIN32
    SetUnhandledExceptionFilter(reportCrash);
#endif
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Parlet"));
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
