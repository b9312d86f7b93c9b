#pragma once
#include <QDialog>

namespace parlet {

class MainForm;

class frmPlaying final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmPlaying)

  public:
    explicit frmPlaying(MainForm &mainForm);
    ~frmPlaying() override;

  private:
    MainForm &m_mainForm;
};

} // namespace parlet
