#include "platform/RealServices.h"

#include <QApplication>
#include <QMessageBox>

namespace parlet {
namespace {

class QtMessageBoxes final : public MessageBoxes {
  public:
    void MsgBox(const std::string &text) override {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                        QString::fromLocal8Bit(text), QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }
};

} // namespace

std::unique_ptr<MessageBoxes> makeQtMessageBoxes() {
    return std::make_unique<QtMessageBoxes>();
}

} // namespace parlet
