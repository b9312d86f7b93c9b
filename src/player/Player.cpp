#include "Player.h"

#include "player/frmRecording.h"
#include "player/seq.h"

namespace parlet {

Player::Player(MainState &state) : m_state(state), m_mci(state) {
    state.seqTimer.setDuty(SeqTimer::Duty::CaptureDisplay, [this] { captureDisplay(); });
}

Player::~Player() = default;

void Player::SeqRec_Click() {
    auto &midiIn = m_state.platform.midiIn;
    auto &buffer = seq::buffer();
    if (m_state.midiInHnd == 0) {
        HMIDIIN handle = 0;
        MMRESULT result =
            midiIn.midiInOpen(&handle, m_state.midiInDev, &seq::capMidiInProc,
                              reinterpret_cast<std::uintptr_t>(&buffer), CALLBACK_FUNCTION);
        if (result != MMSYSERR_NOERROR) {
            if (result == MMSYSERR_ALLOCATED)
                m_state.platform.messages.MsgBox("Oops, the MIDI device is already open");
            return;
        }
        m_state.midiInHnd = handle;
    }
    // The input stays open between captures; each start sets its timestamps back to 0.
    midiIn.midiInStart(m_state.midiInHnd);
    m_state.seqRecording = true;
    m_state.seqTimer.start();

    if (!m_frmRecording)
        m_frmRecording = std::make_unique<frmRecording>(m_state);
    m_frmRecording->exec();

    m_state.seqRecording = false;
    m_state.seqTimer.stop();
}

void Player::captureDisplay() {
    if (!m_state.seqRecording || !m_frmRecording)
        return;
    auto newest = seq::buffer().newest();
    m_frmRecording->showProgress(newest.count, newest.elapsed);
}

void Player::Form_Unload() {
    if (m_state.midiInHnd != 0) {
        m_state.platform.midiIn.midiInClose(m_state.midiInHnd);
        m_state.midiInHnd = 0;
    }
    m_mci.Form_Unload();
}

} // namespace parlet
