#pragma once
#include <QDialog>

namespace parlet {

class MainForm;

class shellWait final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(shellWait)

  public:
    explicit shellWait(MainForm &mainForm);
    ~shellWait() override;

  private:
    MainForm &m_mainForm;
};

} // namespace parlet
