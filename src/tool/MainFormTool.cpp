// The main window's tool commands: option strings, the command runner, registration memories.
#include "app/MainForm.h"

#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"
#include "ui_MainForm.h"

namespace parlet {

void MainForm::wireToolControls() {}
void MainForm::pollToolProcess() {}
void MainForm::sendKorrelCmd(const std::string &) {}
std::string MainForm::getDebugSetting(std::int16_t &) const {
    return {};
}
std::string MainForm::getModuleSetting() const {
    return {};
}
void MainForm::cmdDownload_Click() {}
void MainForm::cmdMonitor_Click() {}
void MainForm::cmdReset_Click() {}
void MainForm::cmdVersion_Click() {}
void MainForm::cmdProgram_Click() {}
void MainForm::cmdVerify_Click() {}
void MainForm::cmdHalt_Click() {}
void MainForm::cmdRun_Click() {}
void MainForm::cmdDataDiag_Click() {}
void MainForm::cmdConfigFile_Click() {}
void MainForm::cmdSequencer_Click() {}
void MainForm::cmdSaveReg_Click() {}
void MainForm::cmdLoadReg_Click() {}
void MainForm::cmdCopyReg_Click() {}
void MainForm::chkRegOnly_Click() {}
void MainForm::txtRegMem_LostFocus() {}
void MainForm::txtRegThrough_LostFocus() {}

shellWait &MainForm::waitWindow() {
    if (!m_shellWait)
        m_shellWait = std::make_unique<shellWait>(*this);
    return *m_shellWait;
}

} // namespace parlet
