// The main window's capture recorder: Record, the recording window and the tick's display duty.
#include "app/MainForm.h"

#include "player/frmRecording.h"
#include "player/seq.h"
#include "ui_MainForm.h"

#include <QTimer>

namespace parlet {

void MainForm::SeqRec_Click() {
    auto &midiIn = m_platform.midiIn;
    auto &buffer = seq::buffer();
    if (midiInHnd == 0) {
        HMIDIIN handle = 0;
        MMRESULT result =
            midiIn.midiInOpen(&handle, midiInDev, &seq::capMidiInProc,
                              reinterpret_cast<std::uintptr_t>(&buffer), CALLBACK_FUNCTION);
        if (result != MMSYSERR_NOERROR) {
            if (result == MMSYSERR_ALLOCATED)
                m_platform.messages.MsgBox("Oops, the MIDI device is already open");
            return;
        }
        midiInHnd = handle;
    }
    // The input stays open between captures; each start sets its timestamps back to 0.
    midiIn.midiInStart(midiInHnd);
    seqRecording = true;
    m_seqTimer->setInterval(1000);
    m_seqTimer->start();

    if (!m_frmRecording)
        m_frmRecording = std::make_unique<frmRecording>(*this);
    m_frmRecording->exec();

    seqRecording = false;
    m_seqTimer->stop();
}

void MainForm::captureDisplay() {
    if (!m_frmRecording)
        return;
    auto newest = seq::buffer().newest();
    m_frmRecording->showProgress(newest.count, newest.elapsed);
}

} // namespace parlet
