#include "frmSeq.h"

#include "shared/MainState.h"

namespace parlet {

frmSeq::frmSeq(MainState &state) : QDialog(&state.window), m_state(state) {
    setWindowTitle(QStringLiteral("Sequencer"));
}

frmSeq::~frmSeq() = default;

} // namespace parlet
