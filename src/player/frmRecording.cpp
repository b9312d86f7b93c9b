#include "frmRecording.h"

#include "app/MainForm.h"
#include "common/TextForms.h"
#include "player/SmfWriter.h"
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
    FileDialogRequest request;
    request.filter = "MIDI Files (*.mid)|*.mid";
    request.filterIndex = 1;
    request.overwritePrompt = true;
    request.initDir = m_mainForm.midDir;
    request.fileName = m_mainForm.midFile;
    auto chosen = m_mainForm.platform().fileDialogs.ShowSave(request);
    if (!chosen)
        return; // the capture stays stopped and kept; Save may be pressed again
    m_mainForm.midDir = ExtractPath(*chosen);
    m_mainForm.midFile = *chosen;
    auto result = smf::writeCaptureFile(*chosen, seq::buffer());
    if (!result.ok()) {
        // The window stays open with the capture, so that it can be saved elsewhere.
        m_mainForm.platform().messages.MsgBox(result.error);
        return;
    }
    accept();
}

} // namespace parlet
