#pragma once
#include "shared/MainState.h"

#include <memory>

namespace parlet {

class frmSeq;

// The main window's way into the sequencer window: shown modally, built at first use and kept, so
// that it keeps its contents for the rest of the run.
class Sequencer final {
  public:
    explicit Sequencer(MainState &state);
    ~Sequencer();
    Sequencer(const Sequencer &) = delete;
    Sequencer &operator=(const Sequencer &) = delete;

    void cmdSequencer_Click();

  private:
    MainState &m_state;
    std::unique_ptr<frmSeq> m_frmSeq;
};

} // namespace parlet
