#pragma once
#include <QDialog>

namespace parlet {

struct MainState;

class frmPlaying final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmPlaying)

  public:
    explicit frmPlaying(MainState &state);
    ~frmPlaying() override;

  private:
    MainState &m_state;
};

} // namespace parlet
