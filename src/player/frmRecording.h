#pragma once
#include <QDialog>

namespace parlet {

class MainForm;

class frmRecording final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmRecording)

  public:
    explicit frmRecording(MainForm &mainForm);
    ~frmRecording() override;

  private:
    MainForm &m_mainForm;
};

} // namespace parlet
