#pragma once
#include <QDialog>

#include <memory>

namespace Ui {
class frmCopyReg;
}

namespace parlet {

class MainForm;

// Copies one registration memory onto a range of memories inside the modules. Hidden, not
// destroyed, so its fields keep their texts for the next copy.
class frmCopyReg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmCopyReg)

  public:
    explicit frmCopyReg(MainForm &mainForm);
    ~frmCopyReg() override;

    void txtCopyFrom_LostFocus();
    void txtCopyTo_LostFocus();
    void txtCopyThrough_LostFocus();
    void cmdCopyOk_Click();
    void CancelButton_Click();

  private:
    MainForm &m_mainForm;
    std::unique_ptr<Ui::frmCopyReg> m_ui;
};

} // namespace parlet
