#include "frmPlaying.h"

#include "app/MainForm.h"

namespace parlet {

frmPlaying::frmPlaying(MainForm &mainForm) : QDialog(&mainForm), m_mainForm(mainForm) {}

frmPlaying::~frmPlaying() = default;

} // namespace parlet
