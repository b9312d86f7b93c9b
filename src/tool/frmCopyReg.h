#pragma once
#include <QDialog>

namespace parlet {

class MainForm;

class frmCopyReg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmCopyReg)

  public:
    explicit frmCopyReg(MainForm &mainForm);
    ~frmCopyReg() override;

  private:
    MainForm &m_mainForm;
};

} // namespace parlet
