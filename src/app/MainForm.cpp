#include "MainForm.h"

#include "app/dlgDevs.h"
#include "player/frmPlaying.h"
#include "player/frmRecording.h"
#include "sequencer/frmSeq.h"
#include "tool/frmCopyReg.h"
#include "tool/shellWait.h"
#include "ui_MainForm.h"

#include <QCloseEvent>
#include <QTimer>

namespace parlet {

MainForm::MainForm(Platform &platform, QWidget *parent)
    : QWidget(parent), m_platform(platform), m_ui(std::make_unique<Ui::MainForm>()),
      m_seqTimer(new QTimer(this)) {
    m_ui->setupUi(this);
    chkDebug = {m_ui->chkDebug_0, m_ui->chkDebug_1, m_ui->chkDebug_2,
                m_ui->chkDebug_3, m_ui->chkDebug_4, m_ui->chkDebug_5,
                m_ui->chkDebug_6, m_ui->chkDebug_7, m_ui->chkDebug_8};
    connect(m_seqTimer, &QTimer::timeout, this, &MainForm::seqTimer_Timer);
    wireAppControls();
    wireToolControls();
    wirePlayerControls();
}

MainForm::~MainForm() = default;

bool MainForm::Form_Load() {
    return true;
}

void MainForm::wireAppControls() {
    connect(m_ui->cmdExit, &QPushButton::clicked, this, &MainForm::cmdExit_Click);
}

void MainForm::loadSettings() {}
void MainForm::saveSettings() {}
bool MainForm::selectMidiDevices() {
    return true;
}
void MainForm::cmdMidiIn_Click() {}
void MainForm::cmdMidiOut_Click() {}

void MainForm::cmdExit_Click() {
    saveSettings();
    close();
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
