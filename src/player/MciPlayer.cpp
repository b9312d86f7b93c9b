#include "MciPlayer.h"

#include "common/TextForms.h"
#include "player/PlaybackTexts.h"
#include "player/frmPlaying.h"
#include "shared/MainState.h"

namespace parlet {

MciPlayer::MciPlayer(MainState &state) : m_state(state) {
    m_state.seqTimer.setDuty(SeqTimer::Duty::MciDisplay, [this] {
        if (m_seqPlaying)
            mciDisplay();
    });
}

MciPlayer::~MciPlayer() {
    m_state.seqTimer.setDuty(SeqTimer::Duty::MciDisplay, {});
}

void MciPlayer::report(const std::string &cmd, unsigned code) {
    std::string text;
    if (m_state.platform.mci.mciGetErrorStringA(code, text, 80))
        m_state.platform.messages.MsgBox("Command \"" + cmd + "\" failed\r\n" + trimAtNul(text));
    else
        m_state.platform.messages.MsgBox("command \"" + cmd + "\" failed");
}

bool MciPlayer::SeqSendCommand(const std::string &cmd) {
    auto code = m_state.platform.mci.mciSendStringA(cmd, nullptr, 0, 0);
    if (code == 0)
        return false;
    report(cmd, code);
    return true;
}

std::string MciPlayer::mciAsk(const std::string &cmd) {
    std::string reply;
    auto code = m_state.platform.mci.mciSendStringA(cmd, &reply, 255, 0);
    if (code == 0)
        return reply;
    report(cmd, code);
    return {};
}

void MciPlayer::SeqPlay_Click() {
    FileDialogRequest request;
    request.filter = "MIDI Files (*.mid)|*.mid";
    request.filterIndex = 1;
    request.initDir = m_state.midDir;
    request.fileName = m_state.midFile;
    auto chosen = m_state.platform.fileDialogs.ShowOpen(request);
    if (!chosen)
        return;
    m_state.midDir = ExtractPath(*chosen);
    m_state.midFile = *chosen;
    if (SeqSendCommand(playback::openCommand(*chosen)))
        return;
    playOpened();
}

// From an open device to its close: a refused port or play closes the device again, so that
// the next playback can open a file.
void MciPlayer::playOpened() {
    if (SeqSendCommand(playback::portCommand(m_state.midiOutDev))) {
        SeqSendCommand("close midio");
        return;
    }
    seqDivType = trimAtNul(mciAsk("status midio division type"));
    seqLength = mciAsk("status midio length");
    const double tempo = numericValue(mciAsk("status midio tempo"));
    m_state.seqoTempo = tempo;
    seqLength = playback::timeText(seqLength, seqDivType == "PPQN", tempo);

    if (!m_frmPlaying)
        m_frmPlaying = std::make_unique<frmPlaying>(m_state, *this);
    m_frmPlaying->initialise();
    m_frmPlaying->setTotTime(seqLength);
    if (SeqSendCommand("play midio")) {
        SeqSendCommand("close midio");
        return;
    }
    m_seqPlaying = true;
    m_state.seqTimer.start();
    m_frmPlaying->exec();

    if (m_seqPlaying) // not yet closed by an unload that ended the program meanwhile
        SeqSendCommand("close midio");
    m_seqPlaying = false;
    m_state.seqTimer.stop();
    if (m_frmPlaying->closedByBox())
        m_frmPlaying.reset();
}

void MciPlayer::mciDisplay() {
    auto pos = mciAsk("status midio position");
    pos = playback::timeText(pos, seqDivType == "PPQN", m_state.seqoTempo.value_or(0));
    if (m_frmPlaying)
        m_frmPlaying->setTime(pos);
    if (trimAtNul(mciAsk("status midio mode")) != "stopped")
        return;
    if (m_frmPlaying)
        m_frmPlaying->deviceStopped();
    SeqSendCommand("seek midio to start");
}

void MciPlayer::Form_Unload() {
    if (!m_seqPlaying)
        return;
    m_state.platform.mci.mciSendStringA("close midio", nullptr, 0, 0);
    m_seqPlaying = false;
}

} // namespace parlet
