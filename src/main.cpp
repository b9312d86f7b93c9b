#include "app/MainForm.h"
#include "app/TerminationSignals.h"
#include "platform/RealPlatform.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Parlet"));
    QApplication::setOrganizationName(QStringLiteral("Vellmark"));
    // SIGTERM and SIGINT close the program as its close box does: nothing is saved.
    parlet::TerminationSignals termination;

    parlet::RealPlatform realPlatform;
    parlet::MainForm mainForm(realPlatform.platform());
    QObject::connect(&termination, &parlet::TerminationSignals::terminationRequested, &mainForm,
                     &parlet::MainForm::closeWithoutSaving);
    if (!mainForm.Form_Load())
        return 0;
    mainForm.show();
    return QApplication::exec();
}
