#include "frmRecording.h"

#include "app/MainForm.h"
#include "common/TextForms.h"
#include "player/MidiFileSave.h"
#include "player/seq.h"
#include "ui_frmRecording.h"

#include <QShowEvent>
#include <QTimer>

namespace parlet {

frmRecording::frmRecording(MainForm &mainForm)
    : QDialog(&mainForm), m_mainForm(mainForm), m_ui(std::make_unique<Ui::frmRecording>()) {
    m_ui->setupUi(this);
    connect(m_ui->cmdSave, &QPushButton::clicked, this, &frmRecording::cmdSave_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &frmRecording::cmdCancel_Click);
}

frmRecording::~frmRecording() = default;

void frmRecording::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // restored from minimised, not shown anew
    m_ui->seqTime->clear();
    m_ui->seqCount->clear();
    // Whatever arrived between the start of the input and now goes with the old contents.
    seq::buffer().capReset();
    m_mainForm.platform().midiIn.midiInStart(m_mainForm.midiInHnd);
    m_mainForm.seqRecording = true;
    m_mainForm.seqTimer().setInterval(1000);
    m_mainForm.seqTimer().start();
}

void frmRecording::showProgress(std::int64_t count, std::int64_t elapsedMs) {
    m_ui->seqCount->setText(QString::fromStdString(signNumber(static_cast<double>(count))));
    if (count > 0)
        m_ui->seqTime->setText(
            QString::fromStdString(timeDisplay(static_cast<double>(elapsedMs) / 1000.0 / 60.0)));
}

void frmRecording::stopCapture() {
    if (!m_mainForm.seqRecording)
        return;
    m_mainForm.seqRecording = false;
    m_mainForm.platform().midiIn.midiInStop(m_mainForm.midiInHnd);
}

void frmRecording::cmdCancel_Click() {
    stopCapture();
    QDialog::reject();
}

void frmRecording::reject() {
    cmdCancel_Click();
}

void frmRecording::cmdSave_Click() {
    stopCapture();
    // On a cancelled dialog or a failed write the window stays open with the capture stopped and
    // kept, so that Save may be pressed again or the capture dropped with Cancel.
    if (saveMidiFileAs(m_mainForm.platform(), m_mainForm.midDir, m_mainForm.midFile, seq::buffer(),
                       smf::DeltaMode::Absolute) == SaveOutcome::Written)
        accept();
}

} // namespace parlet
