#pragma once
#include "shared/MainState.h"

#include <memory>

namespace parlet {

class frmSeq;

// The main window's way into the sequencer: its window, created when first wanted.
class Sequencer final {
  public:
    explicit Sequencer(MainState &state);
    ~Sequencer();
    Sequencer(const Sequencer &) = delete;
    Sequencer &operator=(const Sequencer &) = delete;

    // Shows the sequencer window modally; returns when it is put away.
    void cmdSequencer_Click();

  private:
    MainState &m_state;
    std::unique_ptr<frmSeq> m_frmSeq;
};

} // namespace parlet
