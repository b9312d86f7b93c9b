#include "frmCopyReg.h"

#include "app/MainForm.h"

namespace parlet {

frmCopyReg::frmCopyReg(MainForm &mainForm) : QDialog(&mainForm), m_mainForm(mainForm) {}

frmCopyReg::~frmCopyReg() = default;

} // namespace parlet
