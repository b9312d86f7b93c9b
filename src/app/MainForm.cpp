#include "MainForm.h"

#include "app/dlgDevs.h"
#include "common/TextForms.h"
#include "player/Player.h"
#include "sequencer/Sequencer.h"
#include "tool/LostFocus.h"
#include "tool/ToolFrontEnd.h"
#include "ui_MainForm.h"
#include "ui_dlgDevs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>

namespace parlet {
namespace {

QString local(const std::string &text) {
    return QString::fromLocal8Bit(text);
}

template <typename Caps> std::string productName(const Caps &caps) {
    return cstr2str(caps.szPname.data(), caps.szPname.size());
}

} // namespace

MainForm::MainForm(Platform &platform, QWidget *parent)
    : QWidget(parent), m_platform(platform), m_ui(std::make_unique<Ui::MainForm>()),
      m_state(platform, *this, m_seqTimer) {
    m_ui->setupUi(this);
    const Ui::MainForm &ui = *m_ui;
    ToolControls controls{{ui.chkDebug_0, ui.chkDebug_1, ui.chkDebug_2, ui.chkDebug_3,
                           ui.chkDebug_4, ui.chkDebug_5, ui.chkDebug_6, ui.chkDebug_7,
                           ui.chkDebug_8},
                          ui.chkModuleOnly,
                          ui.txtModule,
                          ui.txtOtherOptions,
                          ui.chkDispData,
                          ui.txtDiagCount,
                          ui.txtConfigFile,
                          ui.lblCommand,
                          ui.chkBat,
                          ui.chkRegOnly,
                          ui.txtRegMem,
                          ui.txtRegThrough};
    m_tool = std::make_unique<ToolFrontEnd>(m_state, controls,
                                            ToolFolders{startDir, cfgFile, cfgDir, regDir});
    m_player = std::make_unique<Player>(m_state);
    m_sequencer = std::make_unique<Sequencer>(m_state);
    wireControls();
}

MainForm::~MainForm() = default;

bool MainForm::Form_Load() {
    startDir = m_platform.folders.CurDir();
    loadSettings();
    if (!selectMidiDevices())
        return false;
    if (!cfgFile.empty())
        m_ui->txtConfigFile->setText(local(cfgFile));
    else
        m_tool->cmdConfigFile_Click();
    m_state.midiInHnd = 0;
    // A termination signal during a start-up dialog ends the program before it is shown.
    return !m_unloaded;
}

void MainForm::wireControls() {
    connect(m_ui->cmdExit, &QPushButton::clicked, this, &MainForm::cmdExit_Click);
    connect(m_ui->cmdMidiIn, &QPushButton::clicked, this, &MainForm::cmdMidiIn_Click);
    connect(m_ui->cmdMidiOut, &QPushButton::clicked, this, &MainForm::cmdMidiOut_Click);

    ToolFrontEnd *tool = m_tool.get();
    const std::pair<QPushButton *, void (ToolFrontEnd::*)()> toolButtons[] = {
        {m_ui->cmdDownload, &ToolFrontEnd::cmdDownload_Click},
        {m_ui->cmdMonitor, &ToolFrontEnd::cmdMonitor_Click},
        {m_ui->cmdReset, &ToolFrontEnd::cmdReset_Click},
        {m_ui->cmdVersion, &ToolFrontEnd::cmdVersion_Click},
        {m_ui->cmdProgram, &ToolFrontEnd::cmdProgram_Click},
        {m_ui->cmdVerify, &ToolFrontEnd::cmdVerify_Click},
        {m_ui->cmdHalt, &ToolFrontEnd::cmdHalt_Click},
        {m_ui->cmdRun, &ToolFrontEnd::cmdRun_Click},
        {m_ui->cmdDataDiag, &ToolFrontEnd::cmdDataDiag_Click},
        {m_ui->cmdConfigFile, &ToolFrontEnd::cmdConfigFile_Click},
        {m_ui->cmdSaveReg, &ToolFrontEnd::cmdSaveReg_Click},
        {m_ui->cmdLoadReg, &ToolFrontEnd::cmdLoadReg_Click},
        {m_ui->cmdCopyReg, &ToolFrontEnd::cmdCopyReg_Click},
    };
    for (const auto &[button, handler] : toolButtons)
        connect(button, &QPushButton::clicked, tool, handler);
    connect(m_ui->chkRegOnly, &QCheckBox::toggled, tool, &ToolFrontEnd::chkRegOnly_Click);
    onLostFocus(m_ui->txtRegMem, [tool] { tool->txtRegMem_LostFocus(); });
    onLostFocus(m_ui->txtRegThrough, [tool] { tool->txtRegThrough_LostFocus(); });

    connect(m_ui->SeqPlay, &QPushButton::clicked, m_player.get(), &Player::SeqPlay_Click);
    connect(m_ui->SeqRec, &QPushButton::clicked, m_player.get(), &Player::SeqRec_Click);
    connect(m_ui->cmdSequencer, &QPushButton::clicked, this,
            [this] { m_sequencer->cmdSequencer_Click(); });
}

void MainForm::loadSettings() {
    IniSettings loaded = readSettings(m_platform.folders);
    iniVersion = loaded.iniVersion;
    m_state.midiInDev = loaded.midiInDev;
    midiInName = loaded.midiInName;
    m_state.midiOutDev = loaded.midiOutDev;
    midiOutName = loaded.midiOutName;
    cfgFile = loaded.cfgFile;
    iniDir = loaded.iniDir;
    m_state.midDir = loaded.midDir;
    cfgDir = loaded.cfgDir;
    regDir = loaded.regDir;
}

IniSettings MainForm::settings() const {
    return IniSettings{iniVersion,  m_state.midiInDev,
                       midiInName,  m_state.midiOutDev,
                       midiOutName, cfgFile,
                       iniDir,      m_state.midDir,
                       cfgDir,      regDir};
}

// A file that cannot be written is not reported: the program closes without saving.
void MainForm::saveSettings() {
    writeSettings(settings(), m_platform.folders.PathSeparator());
}

bool MainForm::selectMidiDevices() {
    MidiDevices &devices = m_platform.devices;

    // One record per side, as the capability queries fill it: a query for a number the platform
    // refuses leaves the name of the device last listed.
    MIDIINCAPS inCaps;
    auto inName = [&](int device) {
        devices.midiInGetDevCapsA(device, inCaps);
        return productName(inCaps);
    };
    int in = m_state.midiInDev;
    if (!chooseDevice(devices.midiInGetNumDevs(), inName, in, midiInName,
                      "No MIDI input devices found.  Do you need to install a device driver for "
                      "your sound card?",
                      "Select MIDI Input Device"))
        return false;
    m_state.midiInDev = in;
    m_ui->txtMidiIn->setText(local(inName(m_state.midiInDev)));

    MIDIOUTCAPS outCaps;
    auto outName = [&](int device) {
        devices.midiOutGetDevCapsA(device, outCaps);
        return productName(outCaps);
    };
    int out = m_state.midiOutDev;
    if (!chooseDevice(devices.midiOutGetNumDevs(), outName, out, midiOutName,
                      "No MIDI output devices found.  Do you need to install a device driver for "
                      "your sound card?",
                      "Select MIDI Output Device"))
        return false;
    m_state.midiOutDev = static_cast<std::int16_t>(out);
    m_ui->txtMidiOut->setText(local(outName(m_state.midiOutDev)));
    return true;
}

// A stored number stands only while it is in range and still names the device it was chosen
// for; a single device is taken without asking.
bool MainForm::chooseDevice(unsigned count, const std::function<std::string(int)> &productName,
                            int &device, std::string &name, const char *noneMessage,
                            const char *task) {
    if (count == 0) {
        m_platform.messages.MsgBox(noneMessage);
        endProgram();
        return false;
    }
    if (device >= 0 && static_cast<unsigned>(device) >= count)
        device = -1;
    if (device >= 0 && productName(device) != name)
        device = -1;
    if (count == 1) {
        device = 0;
        return true;
    }
    if (device != -1)
        return true;

    dlgDevs &dialog = devicesDialog();
    QListWidget *list = dialog.ui().lstDevs;
    list->clear();
    for (unsigned number = 0; number < count; ++number)
        list->addItem(local(productName(static_cast<int>(number))));
    dialog.ui().lblTask->setText(QString::fromLatin1(task));
    list->setCurrentRow(0);
    dialog.exec();
    if (m_unloaded)
        return false;
    // Closed rather than hidden: the dialog is gone, and asking for its list makes a new, empty
    // one.
    if (dialog.closedByCloseBox())
        m_dlgDevs.reset();
    device = devicesDialog().ListIndex();
    name = devicesDialog().ListText();
    return true;
}

dlgDevs &MainForm::devicesDialog() {
    if (!m_dlgDevs)
        m_dlgDevs = std::make_unique<dlgDevs>(*this);
    return *m_dlgDevs;
}

void MainForm::cmdMidiIn_Click() {
    m_state.midiInDev = -1;
    selectMidiDevices();
}

void MainForm::cmdMidiOut_Click() {
    m_state.midiOutDev = -1;
    selectMidiDevices();
}

void MainForm::cmdExit_Click() {
    saveSettings();
    close();
}

void MainForm::closeWithoutSaving() {
    endProgram();
}

// Before the event loop runs (start-up), returning false from Form_Load ends the program; an exit
// requested then would make every later event loop, the main one included, return at once.
void MainForm::endProgram() {
    close();
    Form_Unload();
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void MainForm::closeEvent(QCloseEvent *event) {
    Form_Unload();
    event->accept();
}

void MainForm::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_tool->Form_Unload();
    m_player->Form_Unload();
}

} // namespace parlet
