#include "frmRecording.h"

#include "app/MainForm.h"

namespace parlet {

frmRecording::frmRecording(MainForm &mainForm) : QDialog(&mainForm), m_mainForm(mainForm) {}

frmRecording::~frmRecording() = default;

} // namespace parlet
