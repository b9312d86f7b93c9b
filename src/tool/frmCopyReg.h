#pragma once
#include <QDialog>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class frmCopyReg;
}

namespace parlet {

// Copies one registration memory onto a range of memories inside the modules. Hidden, not
// destroyed, so its fields keep their texts for the next copy.
class frmCopyReg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmCopyReg)

  public:
    // OK hands the three fields, their range rules applied, to `copy`.
    using CopyRequest = std::function<void(const std::string &from, const std::string &to,
                                           const std::string &through)>;
    frmCopyReg(QWidget &parent, CopyRequest copy);
    ~frmCopyReg() override;

    void txtCopyFrom_LostFocus();
    void txtCopyTo_LostFocus();
    void txtCopyThrough_LostFocus();
    void cmdCopyOk_Click();
    void CancelButton_Click();

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    CopyRequest m_copy;
    std::unique_ptr<Ui::frmCopyReg> m_ui;
};

} // namespace parlet
