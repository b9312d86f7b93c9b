#include <QApplication>
#include <QStandardPaths>

#include <gmock/gmock.h>

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Parlet"));
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
