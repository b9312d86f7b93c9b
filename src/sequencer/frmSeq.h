#pragma once
#include "sequencer/SeqInput.h"
#include "sequencer/SeqLoader.h"
#include "sequencer/SeqStream.h"
#include "shared/MainState.h"

#include <QDialog>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class QTimer;

namespace Ui {
class frmSeq;
}

namespace parlet {

// The sequencer window: loads a format-0 file or records into the capture buffer, plays it
// through the MIDI stream, saves recordings, and obeys three program changes on channel 16 when
// chkControl allows. Its MIDI input is open while it is shown (and after a Save, which hides it).
class frmSeq final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSeq)

  public:
    enum SeqState : std::int32_t { seqIdle, seqRecord, seqPlay, seqReady, seqPause };

    explicit frmSeq(MainState &state);
    ~frmSeq() override;

    void cmdNew_Click();
    void cmdPlay_Click();
    void cmdStop_Click();
    void cmdRecord_Click();
    void cmdSave_Click();
    void cmdClose_Click();
    void timer_Timer();

    // The title-bar close box and Escape are Close.
    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    friend class HandlerScope;
    void Form_Load();
    void openInput();
    void closeInput();
    void setState(SeqState state, const char *text);
    void checkPlayDone();
    void runRemote();

    MainState &m_state;
    std::unique_ptr<Ui::frmSeq> m_ui;
    QTimer *timer;
    seq::CaptureBuffer &m_buffer;
    sequencer::SeqInput m_input;
    sequencer::SeqStream m_stream;
    sequencer::SeqFileInfo m_file;
    SeqState seqState = seqIdle;
    HMIDIIN seqInHnd = 0;
    bool m_loaded = false;
    // Remote actions in the order they arrived, appended on the driver's thread. Handlers can
    // wait in a message box or a file dialog, where the actions would otherwise run in the middle
    // of them: they wait here until no handler runs. Close drops those that have not run.
    int m_handlerDepth = 0;
    std::mutex m_remoteMutex;
    std::deque<sequencer::RemoteAction> m_remote;
};

} // namespace parlet
