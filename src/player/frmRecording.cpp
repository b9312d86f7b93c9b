#include "frmRecording.h"

#include "common/TextForms.h"
#include "player/MidiFileSave.h"
#include "player/seq.h"
#include "shared/MainState.h"
#include "ui_frmRecording.h"

#include <QShowEvent>
#include <QTimer>

namespace parlet {

frmRecording::frmRecording(MainState &state)
    : QDialog(&state.window), m_state(state), m_ui(std::make_unique<Ui::frmRecording>()) {
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
    m_state.platform.midiIn.midiInStart(m_state.midiInHnd);
    m_state.seqRecording = true;
    m_state.seqTimer.start();
}

void frmRecording::showProgress(std::int64_t count, std::int64_t elapsedMs) {
    m_ui->seqCount->setText(QString::fromStdString(signNumber(static_cast<double>(count))));
    if (count > 0)
        m_ui->seqTime->setText(
            QString::fromStdString(timeDisplay(static_cast<double>(elapsedMs) / 1000.0 / 60.0)));
}

void frmRecording::stopCapture() {
    if (!m_state.seqRecording)
        return;
    m_state.seqRecording = false;
    m_state.platform.midiIn.midiInStop(m_state.midiInHnd);
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
    if (saveMidiFileAs(m_state.platform, m_state.midDir, m_state.midFile, seq::buffer(),
                       smf::DeltaMode::Absolute) == SaveOutcome::Written)
        accept();
}

} // namespace parlet
