#include "frmSeq.h"

#include "common/TextForms.h"
#include "player/MidiFileSave.h"
#include "ui_frmSeq.h"

#include <QShowEvent>
#include <QTimer>

namespace parlet {

using namespace std::chrono_literals;
using sequencer::RemoteAction;

// Marks a handler as running; remote actions that arrived meanwhile run after the outermost one.
class HandlerScope {
  public:
    explicit HandlerScope(frmSeq &window) : m_window(window) { ++m_window.m_handlerDepth; }
    ~HandlerScope() {
        if (--m_window.m_handlerDepth > 0)
            return;
        std::lock_guard lock(m_window.m_remoteMutex);
        if (!m_window.m_remote.empty())
            QMetaObject::invokeMethod(
                &m_window, [window = &m_window] { window->runRemote(); }, Qt::QueuedConnection);
    }
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;

  private:
    frmSeq &m_window;
};

frmSeq::frmSeq(MainState &state)
    : QDialog(&state.window), m_state(state), m_ui(std::make_unique<Ui::frmSeq>()),
      timer(new QTimer(this)), m_buffer(seq::buffer()),
      m_input(m_buffer,
              [this](RemoteAction action) {
                  std::lock_guard lock(m_remoteMutex);
                  m_remote.push_back(action);
                  QMetaObject::invokeMethod(
                      this, [this] { runRemote(); }, Qt::QueuedConnection);
              }),
      m_stream(state.platform.midiStream, state.platform.messages, state.platform.clock) {
    m_ui->setupUi(this);
    timer->setObjectName(QStringLiteral("timer"));
    QFont stateFont = m_ui->lblState->font();
    stateFont.setPointSizeF(13.5);
    m_ui->lblState->setFont(stateFont);
    connect(m_ui->cmdNew, &QPushButton::clicked, this, &frmSeq::cmdNew_Click);
    connect(m_ui->cmdPlay, &QPushButton::clicked, this, &frmSeq::cmdPlay_Click);
    connect(m_ui->cmdStop, &QPushButton::clicked, this, &frmSeq::cmdStop_Click);
    connect(m_ui->cmdRecord, &QPushButton::clicked, this, &frmSeq::cmdRecord_Click);
    connect(m_ui->cmdSave, &QPushButton::clicked, this, &frmSeq::cmdSave_Click);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &frmSeq::cmdClose_Click);
    connect(m_ui->chkControl, &QCheckBox::toggled, this,
            [this](bool ticked) { m_input.setControl(ticked); });
    connect(timer, &QTimer::timeout, this, &frmSeq::timer_Timer);
}

frmSeq::~frmSeq() {
    // The callback must be done with this window before its members go.
    closeInput();
}

void frmSeq::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // restored from minimised, not shown anew
    if (!m_loaded)
        Form_Load();
    else if (seqInHnd == 0)
        openInput(); // Close closed it; a Save left it open
}

void frmSeq::Form_Load() {
    m_loaded = true;
    m_input.stopRecording();
    openInput();
    setState(seqIdle, "Idle");
    m_ui->cmdPlay->setText(QStringLiteral("&Play"));
}

void frmSeq::openInput() {
    auto &midiIn = m_state.platform.midiIn;
    auto &messages = m_state.platform.messages;
    MMRESULT result =
        midiIn.midiInOpen(&seqInHnd, m_state.midiInDev, &sequencer::seqMidiInProc,
                          reinterpret_cast<std::uintptr_t>(&m_input), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        seqInHnd = 0;
        messages.MsgBox(result == MMSYSERR_ALLOCATED
                            ? std::string("Oops, the MIDI input device is already open")
                            : "Error in midiInOpen: " + std::to_string(result));
        return;
    }
    if (auto started = midiIn.midiInStart(seqInHnd); started != MMSYSERR_NOERROR)
        messages.MsgBox("Error in midiInStart: " + std::to_string(started));
}

void frmSeq::closeInput() {
    if (seqInHnd != 0)
        m_state.platform.midiIn.midiInClose(seqInHnd);
    seqInHnd = 0;
}

void frmSeq::setState(SeqState state, const char *text) {
    seqState = state;
    m_ui->lblState->setText(QString::fromUtf8(text));
}

void frmSeq::cmdNew_Click() {
    HandlerScope scope(*this);
    cmdStop_Click();
    m_buffer.capClear();
    m_ui->lblState->setText(QStringLiteral("Idle"));
    sequencer::loadMidiFile(m_state.platform.fileDialogs, m_state.platform.messages, m_state.midDir,
                            m_state.midFile, m_buffer, m_file);
    if (m_buffer.capCount() != 0)
        setState(seqReady, "Ready");
    else
        seqState = seqIdle;
}

void frmSeq::cmdPlay_Click() {
    HandlerScope scope(*this);
    if (m_buffer.capCount() == 0) {
        sequencer::loadMidiFile(m_state.platform.fileDialogs, m_state.platform.messages,
                                m_state.midDir, m_state.midFile, m_buffer, m_file);
        seqState = seqReady;
        if (m_buffer.capCount() == 0)
            return;
    }
    switch (seqState) {
    case seqIdle:
        m_state.platform.messages.MsgBox("Program logic error: seqIdle");
        return;
    case seqPlay:
        m_stream.pause();
        setState(seqPause, "Paused");
        m_ui->cmdPlay->setText(QStringLiteral("&Play"));
        return;
    case seqPause:
        m_stream.resume();
        setState(seqPlay, "Playing");
        m_ui->cmdPlay->setText(QStringLiteral("P&ause"));
        return;
    case seqRecord:
        cmdStop_Click();
        break;
    case seqReady:
        break;
    }
    auto started = m_stream.start(m_state.midiOutDev, m_file.seqDivision, m_buffer, [this] {
        setState(seqPlay, "Playing");
        m_ui->cmdPlay->setText(QStringLiteral("P&ause"));
    });
    if (started == sequencer::SeqStream::Start::OutOfMemory) {
        cmdStop_Click();
    } else if (started == sequencer::SeqStream::Start::Playing) {
        timer->setInterval(1000);
        timer->start();
    }
}

void frmSeq::cmdStop_Click() {
    HandlerScope scope(*this);
    timer->stop();
    m_ui->lblEvents->clear();
    m_ui->lblTime->clear();
    switch (seqState) {
    case seqRecord:
        m_input.stopRecording();
        if (m_buffer.capCount() != 0) {
            setState(seqReady, "Ready");
            m_buffer.capToDeltas();
        } else {
            setState(seqIdle, "Idle");
        }
        return;
    case seqPlay:
    case seqPause:
        m_stream.stop();
        setState(seqReady, "Ready");
        m_ui->cmdPlay->setText(QStringLiteral("&Play"));
        return;
    case seqIdle:
    case seqReady:
        return;
    }
}

void frmSeq::cmdRecord_Click() {
    HandlerScope scope(*this);
    cmdStop_Click();
    m_buffer.capReset();
    setState(seqRecord, "Recording");
    m_input.startRecording();
    m_file.seqFromFile = false;
    m_file.seqDivision = 500; // one tick a millisecond at the tempo entry's 500000
    timer->setInterval(500);
    timer->start();
}

void frmSeq::cmdSave_Click() {
    HandlerScope scope(*this);
    cmdStop_Click();
    if (m_file.seqFromFile) {
        m_state.platform.messages.MsgBox("So sorry, but you can only save what's recorded");
        return;
    }
    // The input stays open: the window is only put away, as after a capture's Save.
    if (saveMidiFileAs(m_state.platform, m_state.midDir, m_state.midFile, m_buffer,
                       smf::DeltaMode::Stored) == SaveOutcome::Written)
        hide();
}

void frmSeq::cmdClose_Click() {
    HandlerScope scope(*this);
    cmdStop_Click();
    closeInput();
    {
        // Nothing arrives any more; what arrived before must not act on a window that is gone.
        std::lock_guard lock(m_remoteMutex);
        m_remote.clear();
    }
    hide();
}

void frmSeq::reject() {
    cmdClose_Click();
    QDialog::reject();
}

void frmSeq::timer_Timer() {
    if (m_handlerDepth > 0)
        return; // a handler waits in a message box; the next tick looks again
    HandlerScope scope(*this);
    if (seqState == seqRecord) {
        m_ui->lblEvents->setText(QString::number(m_buffer.capCount()));
    } else if (seqState == seqPlay) {
        checkPlayDone();
        m_ui->lblTime->setText(QString::fromStdString(seqTimeDisplay(m_stream.positionMs())));
    }
}

void frmSeq::checkPlayDone() {
    if (!m_stream.lastBufferDone())
        return;
    // The last events of the last buffer still sound for a moment after it is marked played.
    m_state.platform.clock.Sleep(500ms);
    cmdStop_Click();
}

void frmSeq::runRemote() {
    while (m_handlerDepth == 0) {
        RemoteAction action;
        {
            std::lock_guard lock(m_remoteMutex);
            if (m_remote.empty())
                return;
            action = m_remote.front();
            m_remote.pop_front();
        }
        switch (action) {
        case RemoteAction::Stop:
            cmdStop_Click();
            break;
        case RemoteAction::Record:
            cmdRecord_Click();
            break;
        case RemoteAction::Play:
            cmdPlay_Click();
            break;
        }
    }
}

} // namespace parlet
