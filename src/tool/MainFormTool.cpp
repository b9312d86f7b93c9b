// The main window's tool commands: option strings, the command runner, registration memories.
#include "app/MainForm.h"

#include "common/TextForms.h"
#include "common/ToolOptions.h"
#include "sequencer/Sequencer.h"
#include "shared/MainState.h"
#include "tool/LostFocus.h"
#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"
#include "ui_MainForm.h"

#include <QTimer>

namespace parlet {
namespace {

std::string text(const QLineEdit *field) {
    return field->text().toLocal8Bit().toStdString();
}

QString local(const std::string &value) {
    return QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size()));
}

} // namespace

void MainForm::wireToolControls() {
    const std::pair<QPushButton *, void (MainForm::*)()> buttons[] = {
        {m_ui->cmdDownload, &MainForm::cmdDownload_Click},
        {m_ui->cmdMonitor, &MainForm::cmdMonitor_Click},
        {m_ui->cmdReset, &MainForm::cmdReset_Click},
        {m_ui->cmdVersion, &MainForm::cmdVersion_Click},
        {m_ui->cmdProgram, &MainForm::cmdProgram_Click},
        {m_ui->cmdVerify, &MainForm::cmdVerify_Click},
        {m_ui->cmdHalt, &MainForm::cmdHalt_Click},
        {m_ui->cmdRun, &MainForm::cmdRun_Click},
        {m_ui->cmdDataDiag, &MainForm::cmdDataDiag_Click},
        {m_ui->cmdConfigFile, &MainForm::cmdConfigFile_Click},
        {m_ui->cmdSequencer, &MainForm::cmdSequencer_Click},
        {m_ui->cmdSaveReg, &MainForm::cmdSaveReg_Click},
        {m_ui->cmdLoadReg, &MainForm::cmdLoadReg_Click},
        {m_ui->cmdCopyReg, &MainForm::cmdCopyReg_Click},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);
    connect(m_ui->chkRegOnly, &QCheckBox::toggled, this, &MainForm::chkRegOnly_Click);
    onLostFocus(m_ui->txtRegMem, [this] { txtRegMem_LostFocus(); });
    onLostFocus(m_ui->txtRegThrough, [this] { txtRegThrough_LostFocus(); });
}

void MainForm::pollToolProcess() {
    if (m_shellWait && m_shellWait->shellBusy)
        m_shellWait->testEnd();
}

void MainForm::sendKorrelCmd(const std::string &s) {
    shellWait &wait = waitWindow();
    if (wait.shellBusy) {
        m_platform.messages.MsgBox("Please exit the previous command before starting another");
        return;
    }
    const std::string line =
        options::toolCommandLine(m_ui->chkBat->isChecked(), midiInDev, midiOutDev, s);
    m_ui->lblCommand->setText(local(line));
    m_platform.folders.ChDir(startDir);
    m_seqTimer->setInterval(1000);
    m_seqTimer->start();
    wait.ExecCmd(line);
}

std::array<bool, 9> MainForm::debugBoxes() const {
    std::array<bool, 9> ticks{};
    for (std::size_t i = 0; i < chkDebug.size(); ++i)
        ticks[i] = chkDebug[i]->isChecked();
    return ticks;
}

std::string MainForm::getDebugSetting(std::int16_t &d) const {
    return options::getDebugSetting(d, debugBoxes());
}

std::string MainForm::getModuleSetting() const {
    return options::getModuleSetting(m_ui->chkModuleOnly->isChecked(), text(m_ui->txtModule),
                                     text(m_ui->txtOtherOptions));
}

namespace {

options::ToolFields toolFields(const Ui::MainForm &ui, const std::array<bool, 9> &debug,
                               const std::string &cfgFile) {
    options::ToolFields fields;
    fields.debug = debug;
    fields.moduleOnly = ui.chkModuleOnly->isChecked();
    fields.module = text(ui.txtModule);
    fields.otherOptions = text(ui.txtOtherOptions);
    fields.dispData = ui.chkDispData->isChecked();
    fields.diagCount = text(ui.txtDiagCount);
    fields.cfgFile = cfgFile;
    return fields;
}

} // namespace

void MainForm::cmdDownload_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::Download,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdMonitor_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::Monitor,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdReset_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::Reset,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdVersion_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::Version,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdProgram_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::Program,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdVerify_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::Verify,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdHalt_Click() {
    sendKorrelCmd(
        options::toolOptions(options::ToolCommand::Halt, toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdRun_Click() {
    sendKorrelCmd(
        options::toolOptions(options::ToolCommand::Run, toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdDataDiag_Click() {
    sendKorrelCmd(options::toolOptions(options::ToolCommand::DataDiag,
                                       toolFields(*m_ui, debugBoxes(), cfgFile)));
}

void MainForm::cmdConfigFile_Click() {
    FileDialogRequest request;
    request.filter = "All Files (*.*)|*.*|Ombrix Configuration Files (*.ocf)|*.ocf";
    request.filterIndex = 2;
    request.initDir = cfgDir;
    request.fileName = "";
    const auto chosen = m_platform.fileDialogs.ShowOpen(request);
    if (!chosen)
        return;
    m_ui->txtConfigFile->setText(local(*chosen));
    cfgFile = *chosen;
    cfgDir = ExtractPath(*chosen);
}

void MainForm::cmdSequencer_Click() {
    if (!m_sequencer) {
        m_sharedTimer = std::make_unique<SeqTimer>();
        m_sharedState = std::make_unique<MainState>(m_platform, *this, *m_sharedTimer);
        m_sequencer = std::make_unique<Sequencer>(*m_sharedState);
    }
    auto &shared = *m_sharedState;
    shared.midiInDev = midiInDev;
    shared.midiOutDev = midiOutDev;
    shared.midDir = midDir;
    shared.midFile = midFile;
    m_sequencer->cmdSequencer_Click();
    midDir = shared.midDir;
    midFile = shared.midFile;
}

namespace {

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

void MainForm::cmdSaveReg_Click() {
    const auto chosen = chooseRegFile(m_platform.fileDialogs, true, regDir, regFile);
    if (!chosen)
        return;
    regDir = ExtractPath(*chosen);
    regFile = *chosen;
    sendKorrelCmd(options::registrationOptions(
        options::RegTransfer::Save, text(m_ui->txtOtherOptions), m_ui->chkRegOnly->isChecked(),
        text(m_ui->txtRegMem), text(m_ui->txtRegThrough), debugBoxes(), *chosen));
}

void MainForm::cmdLoadReg_Click() {
    const auto chosen = chooseRegFile(m_platform.fileDialogs, false, regDir, regFile);
    if (!chosen)
        return;
    regDir = ExtractPath(*chosen);
    regFile = *chosen;
    sendKorrelCmd(options::registrationOptions(
        options::RegTransfer::Load, text(m_ui->txtOtherOptions), m_ui->chkRegOnly->isChecked(),
        text(m_ui->txtRegMem), text(m_ui->txtRegThrough), debugBoxes(), *chosen));
}

void MainForm::cmdCopyReg_Click() {
    copyDialog().exec();
}

void MainForm::chkRegOnly_Click() {
    const bool ticked = m_ui->chkRegOnly->isChecked();
    m_ui->txtRegMem->setEnabled(ticked);
    m_ui->txtRegThrough->setEnabled(ticked);
}

void MainForm::txtRegMem_LostFocus() {
    auto range = options::firstFieldLeft(text(m_ui->txtRegMem), text(m_ui->txtRegThrough));
    m_ui->txtRegThrough->setText(local(range.last));
    m_ui->txtRegMem->setText(local(range.first));
}

void MainForm::txtRegThrough_LostFocus() {
    auto range = options::lastFieldLeft(text(m_ui->txtRegMem), text(m_ui->txtRegThrough));
    m_ui->txtRegMem->setText(local(range.first));
    m_ui->txtRegThrough->setText(local(range.last));
}

shellWait &MainForm::waitWindow() {
    if (!m_shellWait)
        m_shellWait = std::make_unique<shellWait>(*this);
    return *m_shellWait;
}

frmCopyReg &MainForm::copyDialog() {
    if (!m_frmCopyReg)
        m_frmCopyReg = std::make_unique<frmCopyReg>(*this);
    return *m_frmCopyReg;
}

} // namespace parlet
