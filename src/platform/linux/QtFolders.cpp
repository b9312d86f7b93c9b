#include "platform/RealServices.h"

#include <QDir>
#include <QStandardPaths>

namespace parlet {
namespace {

class QtFolders final : public Folders {
  public:
    int SHGetFolderPathA(int csidl, std::string &path) override {
        QStandardPaths::StandardLocation location;
        if (csidl == CSIDL_APPDATA)
            location = QStandardPaths::GenericConfigLocation;
        else if (csidl == CSIDL_PERSONAL)
            location = QStandardPaths::DocumentsLocation;
        else
            return 1;
        QString folder = QStandardPaths::writableLocation(location);
        if (folder.isEmpty())
            return 1;
        path = QDir::toNativeSeparators(folder).toLocal8Bit().toStdString();
        return 0;
    }

    bool ChDir(const std::string &folder) override {
        return !folder.empty() && QDir::setCurrent(QString::fromLocal8Bit(folder));
    }

    std::string CurDir() override {
        return QDir::toNativeSeparators(QDir::currentPath()).toLocal8Bit().toStdString();
    }

    char PathSeparator() const override { return QDir::separator().toLatin1(); }
};

} // namespace

std::unique_ptr<Folders> makeRealFolders() {
    return std::make_unique<QtFolders>();
}

} // namespace parlet
