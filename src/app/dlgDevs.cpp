#include "dlgDevs.h"

#include "app/MainForm.h"

namespace parlet {

dlgDevs::dlgDevs(MainForm &mainForm) : QDialog(&mainForm), m_mainForm(mainForm) {}

dlgDevs::~dlgDevs() = default;

} // namespace parlet
