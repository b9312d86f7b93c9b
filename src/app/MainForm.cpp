#include "MainForm.h"

#include "app/dlgDevs.h"
#include "common/TextForms.h"
#include "player/frmPlaying.h"
#include "player/frmRecording.h"
#include "sequencer/Sequencer.h"
#include "shared/MainState.h"
#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"
#include "ui_MainForm.h"
#include "ui_dlgDevs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

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
      m_seqTimer(new QTimer(this)) {
    m_ui->setupUi(this);
    chkDebug = {m_ui->chkDebug_0, m_ui->chkDebug_1, m_ui->chkDebug_2,
                m_ui->chkDebug_3, m_ui->chkDebug_4, m_ui->chkDebug_5,
                m_ui->chkDebug_6, m_ui->chkDebug_7, m_ui->chkDebug_8};
    // Nothing ticks until a command, a playback or a capture needs it.
    m_seqTimer->setInterval(0);
    connect(m_seqTimer, &QTimer::timeout, this, &MainForm::seqTimer_Timer);
    wireAppControls();
    wireToolControls();
    wirePlayerControls();
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
        cmdConfigFile_Click();
    midiInHnd = 0;
    // A termination signal during a start-up dialog ends the program before it is shown.
    return !m_unloaded;
}

void MainForm::wireAppControls() {
    connect(m_ui->cmdExit, &QPushButton::clicked, this, &MainForm::cmdExit_Click);
    connect(m_ui->cmdMidiIn, &QPushButton::clicked, this, &MainForm::cmdMidiIn_Click);
    connect(m_ui->cmdMidiOut, &QPushButton::clicked, this, &MainForm::cmdMidiOut_Click);
}

void MainForm::loadSettings() {
    IniSettings loaded = readSettings(m_platform.folders);
    iniVersion = loaded.iniVersion;
    midiInDev = loaded.midiInDev;
    midiInName = loaded.midiInName;
    midiOutDev = loaded.midiOutDev;
    midiOutName = loaded.midiOutName;
    cfgFile = loaded.cfgFile;
    iniDir = loaded.iniDir;
    midDir = loaded.midDir;
    cfgDir = loaded.cfgDir;
    regDir = loaded.regDir;
}

IniSettings MainForm::settings() const {
    return IniSettings{iniVersion, midiInDev, midiInName, midiOutDev, midiOutName,
                       cfgFile,    iniDir,    midDir,     cfgDir,     regDir};
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
    int in = midiInDev;
    if (!chooseDevice(devices.midiInGetNumDevs(), inName, in, midiInName,
                      "No MIDI input devices found.  Do you need to install a device driver for "
                      "your sound card?",
                      "Select MIDI Input Device"))
        return false;
    midiInDev = in;
    m_ui->txtMidiIn->setText(local(inName(midiInDev)));

    MIDIOUTCAPS outCaps;
    auto outName = [&](int device) {
        devices.midiOutGetDevCapsA(device, outCaps);
        return productName(outCaps);
    };
    int out = midiOutDev;
    if (!chooseDevice(devices.midiOutGetNumDevs(), outName, out, midiOutName,
                      "No MIDI output devices found.  Do you need to install a device driver for "
                      "your sound card?",
                      "Select MIDI Output Device"))
        return false;
    midiOutDev = static_cast<std::int16_t>(out);
    m_ui->txtMidiOut->setText(local(outName(midiOutDev)));
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
    midiInDev = -1;
    selectMidiDevices();
}

void MainForm::cmdMidiOut_Click() {
    midiOutDev = -1;
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

void MainForm::seqTimer_Timer() {
    if (seqRecording)
        captureDisplay();
    if (seqPlaying)
        mciDisplay();
    pollToolProcess();
}

void MainForm::closeEvent(QCloseEvent *event) {
    Form_Unload();
    event->accept();
}

bool MainForm::eventFilter(QObject *watched, QEvent *event) {
    return QWidget::eventFilter(watched, event);
}

void MainForm::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (midiInHnd != 0) {
        m_platform.midiIn.midiInClose(midiInHnd);
        midiInHnd = 0;
    }
    closeMciOnUnload();
}

} // namespace parlet
