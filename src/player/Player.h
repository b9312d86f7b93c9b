#pragma once
#include "player/MciPlayer.h"
#include "shared/MainState.h"

#include <QObject>

#include <memory>

namespace parlet {

class frmRecording;

// The main window's Play and Record: MIDI file playback through the sequencer device, and capture
// of the MIDI input into the capture buffer behind the recording window.
class Player final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Player)

  public:
    explicit Player(MainState &state);
    ~Player() override;

    void SeqRec_Click();
    void SeqPlay_Click() { m_mci.SeqPlay_Click(); }
    // Shut-down: closes the capture input and a playback still open.
    void Form_Unload();

  private:
    void captureDisplay(); // the tick's duty while seqRecording

    MainState &m_state;
    MciPlayer m_mci;
    std::unique_ptr<frmRecording> m_frmRecording;
};

} // namespace parlet
