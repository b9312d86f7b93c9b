#include "Sequencer.h"

#include "sequencer/frmSeq.h"

namespace parlet {

Sequencer::Sequencer(MainState &state) : m_state(state) {}

Sequencer::~Sequencer() = default;

void Sequencer::cmdSequencer_Click() {
    if (!m_frmSeq)
        m_frmSeq = std::make_unique<frmSeq>(m_state);
    m_frmSeq->exec();
}

} // namespace parlet
