#pragma once
#include <QDialog>

namespace parlet {

class MainForm;

class frmSeq final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSeq)

  public:
    explicit frmSeq(MainForm &mainForm);
    ~frmSeq() override;

  private:
    MainForm &m_mainForm;
};

} // namespace parlet
