#include "platform/RealServices.h"

#include "common/FileDialogFilter.h"

#include <QApplication>
#include <QFileDialog>

namespace parlet {
namespace {

class QtFileDialogs final : public FileDialogs {
  public:
    std::optional<std::string> ShowOpen(const FileDialogRequest &request) override {
        return show(request, QFileDialog::AcceptOpen);
    }
    std::optional<std::string> ShowSave(const FileDialogRequest &request) override {
        return show(request, QFileDialog::AcceptSave);
    }

  private:
    static std::optional<std::string> show(const FileDialogRequest &request,
                                           QFileDialog::AcceptMode mode) {
        QFileDialog dialog(QApplication::activeWindow());
        dialog.setAcceptMode(mode);
#ifndef _WIN32
        // Qt's own dialog on Linux, so that behaviour does not depend on the desktop; Windows
        // users get the system's own.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen && request.fileMustExist
                               ? QFileDialog::ExistingFile
                               : QFileDialog::AnyFile);
        QStringList filters;
        for (const auto &entry : parseFilter(request.filter))
            filters << QString::fromLocal8Bit(qtNameFilter(entry));
        dialog.setNameFilters(filters);
        if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
            dialog.selectNameFilter(filters[request.filterIndex - 1]);
        if (!request.initDir.empty())
            dialog.setDirectory(QString::fromLocal8Bit(request.initDir));
        if (!request.fileName.empty())
            dialog.selectFile(QString::fromLocal8Bit(request.fileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return QDir::toNativeSeparators(dialog.selectedFiles().front()).toLocal8Bit().toStdString();
    }
};

} // namespace

std::unique_ptr<FileDialogs> makeQtFileDialogs() {
    return std::make_unique<QtFileDialogs>();
}

} // namespace parlet
