#include "frmPlaying.h"

#include "shared/MainState.h"

namespace parlet {

frmPlaying::frmPlaying(MainState &state) : QDialog(&state.window), m_state(state) {}

frmPlaying::~frmPlaying() = default;

} // namespace parlet
