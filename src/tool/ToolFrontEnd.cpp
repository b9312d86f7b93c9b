#include "ToolFrontEnd.h"

#include "common/TextForms.h"
#include "common/ToolOptions.h"
#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace parlet {
namespace {

std::string text(const QLineEdit *field) {
    return field->text().toLocal8Bit().toStdString();
}

void setText(QWidget *field, const std::string &value) {
    const QString shown =
        QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size()));
    if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->setText(shown);
    else if (auto *label = qobject_cast<QLabel *>(field))
        label->setText(shown);
}

std::optional<std::string> chooseRegFile(FileDialogs &dialogs, bool save, const std::string &dir,
                                         const std::string &file) {
    FileDialogRequest request;
    request.filter = "All Files (*.*)|*.*|Registration Files (*.reg)|*.reg";
    request.filterIndex = 2;
    request.initDir = dir;
    request.fileName = file;
    request.overwritePrompt = save;
    request.fileMustExist = !save;
    return save ? dialogs.ShowSave(request) : dialogs.ShowOpen(request);
}

} // namespace

ToolFrontEnd::ToolFrontEnd(MainState &state, const ToolControls &controls,
                           const ToolFolders &folders)
    : m_state(state), m_controls(controls), m_folders(folders),
      m_consoles(state.platform.processes, state.window) {
    state.seqTimer.setDuty(SeqTimer::Duty::ToolPoll, [this] { pollToolProcess(); });
}

ToolFrontEnd::~ToolFrontEnd() = default;

void ToolFrontEnd::pollToolProcess() {
    if (m_shellWait && m_shellWait->shellBusy)
        m_shellWait->testEnd();
}

void ToolFrontEnd::sendKorrelCmd(const std::string &s) {
    shellWait &wait = waitWindow();
    if (wait.shellBusy) {
        m_state.platform.messages.MsgBox(
            "Please exit the previous command before starting another");
        return;
    }
    const std::string line = options::toolCommandLine(m_controls.chkBat->isChecked(),
                                                      m_state.midiInDev, m_state.midiOutDev, s);
    setText(m_controls.lblCommand, line);
    m_state.platform.folders.ChDir(m_folders.startDir);
    m_state.seqTimer.start();
    wait.ExecCmd(line);
}

std::array<bool, 9> ToolFrontEnd::debugBoxes() const {
    std::array<bool, 9> ticks{};
    for (std::size_t i = 0; i < ticks.size(); ++i)
        ticks[i] = m_controls.chkDebug[i]->isChecked();
    return ticks;
}

namespace {

options::ToolFields toolFields(const ToolControls &controls, const std::array<bool, 9> &debug,
                               const std::string &cfgFile) {
    options::ToolFields fields;
    fields.debug = debug;
    fields.moduleOnly = controls.chkModuleOnly->isChecked();
    fields.module = text(controls.txtModule);
    fields.otherOptions = text(controls.txtOtherOptions);
    fields.dispData = controls.chkDispData->isChecked();
    fields.diagCount = text(controls.txtDiagCount);
    fields.cfgFile = cfgFile;
    return fields;
}

} // namespace

void ToolFrontEnd::sendToolCommand(options::ToolCommand command) {
    sendKorrelCmd(
        options::toolOptions(command, toolFields(m_controls, debugBoxes(), m_folders.cfgFile)));
}

void ToolFrontEnd::cmdDownload_Click() {
    sendToolCommand(options::ToolCommand::Download);
}

void ToolFrontEnd::cmdMonitor_Click() {
    sendToolCommand(options::ToolCommand::Monitor);
}

void ToolFrontEnd::cmdReset_Click() {
    sendToolCommand(options::ToolCommand::Reset);
}

void ToolFrontEnd::cmdVersion_Click() {
    sendToolCommand(options::ToolCommand::Version);
}

void ToolFrontEnd::cmdProgram_Click() {
    sendToolCommand(options::ToolCommand::Program);
}

void ToolFrontEnd::cmdVerify_Click() {
    sendToolCommand(options::ToolCommand::Verify);
}

void ToolFrontEnd::cmdHalt_Click() {
    sendToolCommand(options::ToolCommand::Halt);
}

void ToolFrontEnd::cmdRun_Click() {
    sendToolCommand(options::ToolCommand::Run);
}

void ToolFrontEnd::cmdDataDiag_Click() {
    sendToolCommand(options::ToolCommand::DataDiag);
}

void ToolFrontEnd::cmdConfigFile_Click() {
    FileDialogRequest request;
    request.filter = "All Files (*.*)|*.*|Ombrix Configuration Files (*.ocf)|*.ocf";
    request.filterIndex = 2;
    request.initDir = m_folders.cfgDir;
    request.fileName = "";
    const auto chosen = m_state.platform.fileDialogs.ShowOpen(request);
    if (!chosen)
        return;
    setText(m_controls.txtConfigFile, *chosen);
    m_folders.cfgFile = *chosen;
    m_folders.cfgDir = ExtractPath(*chosen);
}

void ToolFrontEnd::cmdSaveReg_Click() {
    const auto chosen =
        chooseRegFile(m_state.platform.fileDialogs, true, m_folders.regDir, regFile);
    if (!chosen)
        return;
    m_folders.regDir = ExtractPath(*chosen);
    regFile = *chosen;
    sendKorrelCmd(
        options::registrationOptions(options::RegTransfer::Save, text(m_controls.txtOtherOptions),
                                     m_controls.chkRegOnly->isChecked(), text(m_controls.txtRegMem),
                                     text(m_controls.txtRegThrough), debugBoxes(), *chosen));
}

void ToolFrontEnd::cmdLoadReg_Click() {
    const auto chosen =
        chooseRegFile(m_state.platform.fileDialogs, false, m_folders.regDir, regFile);
    if (!chosen)
        return;
    m_folders.regDir = ExtractPath(*chosen);
    regFile = *chosen;
    sendKorrelCmd(
        options::registrationOptions(options::RegTransfer::Load, text(m_controls.txtOtherOptions),
                                     m_controls.chkRegOnly->isChecked(), text(m_controls.txtRegMem),
                                     text(m_controls.txtRegThrough), debugBoxes(), *chosen));
}

void ToolFrontEnd::cmdCopyReg_Click() {
    if (!m_frmCopyReg)
        m_frmCopyReg = std::make_unique<frmCopyReg>(
            m_state.window,
            [this](const std::string &from, const std::string &to, const std::string &through) {
                copyRegistration(from, to, through);
            });
    m_frmCopyReg->exec();
}

void ToolFrontEnd::copyRegistration(const std::string &from, const std::string &to,
                                    const std::string &through) {
    sendKorrelCmd(
        options::copyOptions(text(m_controls.txtOtherOptions), from, to, through, debugBoxes()));
}

void ToolFrontEnd::chkRegOnly_Click() {
    const bool ticked = m_controls.chkRegOnly->isChecked();
    m_controls.txtRegMem->setEnabled(ticked);
    m_controls.txtRegThrough->setEnabled(ticked);
}

void ToolFrontEnd::txtRegMem_LostFocus() {
    auto range =
        options::firstFieldLeft(text(m_controls.txtRegMem), text(m_controls.txtRegThrough));
    setText(m_controls.txtRegThrough, range.last);
    setText(m_controls.txtRegMem, range.first);
}

void ToolFrontEnd::txtRegThrough_LostFocus() {
    auto range = options::lastFieldLeft(text(m_controls.txtRegMem), text(m_controls.txtRegThrough));
    setText(m_controls.txtRegMem, range.first);
    setText(m_controls.txtRegThrough, range.last);
}

void ToolFrontEnd::Form_Unload() {
    m_consoles.closeAll();
}

shellWait &ToolFrontEnd::waitWindow() {
    if (!m_shellWait)
        m_shellWait = std::make_unique<shellWait>(
            m_state.platform, m_state.window, [this](HANDLE process, const std::string &cmdline) {
                if (!m_state.platform.processes.OpensOwnConsole())
                    m_consoles.open(process, cmdline, m_controls.chkBat->isChecked(), *m_shellWait);
            });
    return *m_shellWait;
}

} // namespace parlet
