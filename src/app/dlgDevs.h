#pragma once
#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class dlgDevs;
}

namespace parlet {

class MainForm;

// Asks for one MIDI device. OK only hides it, so its list survives until the next use; the close
// box closes it for good, which the caller learns from closedByCloseBox().
class dlgDevs final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(dlgDevs)

  public:
    explicit dlgDevs(MainForm &mainForm);
    ~dlgDevs() override;

    Ui::dlgDevs &ui() { return *m_ui; }

    // The selected line: its index (-1 when none) and its text ("" when none).
    int ListIndex() const;
    std::string ListText() const;

    bool closedByCloseBox() const { return m_closedByCloseBox; }

    void OKButton_Click();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    std::unique_ptr<Ui::dlgDevs> m_ui;
    bool m_closedByCloseBox = false;
};

} // namespace parlet
