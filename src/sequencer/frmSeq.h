#pragma once
#include <QDialog>

namespace parlet {

struct MainState;

class frmSeq final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSeq)

  public:
    explicit frmSeq(MainState &state);
    ~frmSeq() override;

  private:
    MainState &m_state;
};

} // namespace parlet
