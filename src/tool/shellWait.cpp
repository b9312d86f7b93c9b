#include "shellWait.h"

#include "app/MainForm.h"

namespace parlet {

shellWait::shellWait(MainForm &mainForm) : QDialog(&mainForm), m_mainForm(mainForm) {}

shellWait::~shellWait() = default;

} // namespace parlet
