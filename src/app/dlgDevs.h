#pragma once
#include <QDialog>

namespace parlet {

class MainForm;

class dlgDevs final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(dlgDevs)

  public:
    explicit dlgDevs(MainForm &mainForm);
    ~dlgDevs() override;

  private:
    MainForm &m_mainForm;
};

} // namespace parlet
