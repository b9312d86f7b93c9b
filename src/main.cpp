#include "app/MainForm.h"
#include "platform/RealPlatform.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Parlet"));
    QApplication::setOrganizationName(QStringLiteral("Vellmark"));

    parlet::RealPlatform realPlatform;
    parlet::MainForm mainForm(realPlatform.platform());
    if (!mainForm.Form_Load())
        return 0;
    mainForm.show();
    return QApplication::exec();
}
