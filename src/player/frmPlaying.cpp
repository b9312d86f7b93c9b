#include "frmPlaying.h"

#include "common/TextForms.h"
#include "player/MciPlayer.h"
#include "player/PlaybackTexts.h"
#include "shared/MainState.h"
#include "ui_frmPlaying.h"

#include <QCloseEvent>
#include <QSignalBlocker>

namespace parlet {

frmPlaying::frmPlaying(MainState &state, MciPlayer &player)
    : QDialog(&state.window), m_state(state), m_player(player),
      m_ui(std::make_unique<Ui::frmPlaying>()) {
    m_ui->setupUi(this);
    connect(m_ui->cmdSlower, &QPushButton::clicked, this, &frmPlaying::cmdSlower_Click);
    connect(m_ui->cmdNormal, &QPushButton::clicked, this, &frmPlaying::cmdNormal_Click);
    connect(m_ui->cmdFaster, &QPushButton::clicked, this, &frmPlaying::cmdFaster_Click);
    connect(m_ui->txtRate, &QLineEdit::textChanged, this, &frmPlaying::txtRate_Change);
    connect(m_ui->cmdPause, &QPushButton::clicked, this, &frmPlaying::cmdPause_Click);
    connect(m_ui->cmdStop, &QPushButton::clicked, this, &frmPlaying::cmdStop_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &frmPlaying::cmdCancel_Click);
}

frmPlaying::~frmPlaying() = default;

void frmPlaying::initialise() {
    seqoState = 1;
    setPauseCaption("Pause");
    playRate = 100;
    const QSignalBlocker quiet(m_ui->txtRate);
    m_ui->txtRate->setText(QStringLiteral("100"));
    m_closedByBox = false;
}

void frmPlaying::setTotTime(const std::string &text) {
    m_ui->lblTotTime->setText(QString::fromStdString(text));
}

void frmPlaying::setTime(const std::string &text) {
    m_ui->lblTime->setText(QString::fromStdString(text));
}

void frmPlaying::deviceStopped() {
    seqoState = 0;
    setPauseCaption("Play");
}

void frmPlaying::setRateText(const std::string &text) {
    m_ui->txtRate->setText(QString::fromStdString(text)); // sends the tempo through its change
}

void frmPlaying::setPauseCaption(const char *caption) {
    m_ui->cmdPause->setText(QString::fromUtf8(caption));
}

void frmPlaying::cmdSlower_Click() {
    setRateText(playback::steppedRate(playback::RateStep::Slower, playRate));
}

void frmPlaying::cmdNormal_Click() {
    setRateText(playback::steppedRate(playback::RateStep::Normal, playRate));
}

void frmPlaying::cmdFaster_Click() {
    setRateText(playback::steppedRate(playback::RateStep::Faster, playRate));
}

// The text is the authority: after a step the rate is what the box shows, not the product.
void frmPlaying::txtRate_Change() {
    playRate = numericValue(m_ui->txtRate->text().toStdString());
    m_player.SeqSendCommand(playback::tempoCommand(m_state.seqoTempo.value_or(0), playRate));
}

void frmPlaying::cmdPause_Click() {
    switch (seqoState) {
    case 0:
        m_player.SeqSendCommand("play midio from 0");
        setPauseCaption("Pause");
        seqoState = 1;
        break;
    case 1:
        m_player.SeqSendCommand("pause midio");
        setPauseCaption("Play");
        seqoState = 2;
        break;
    default:
        m_player.SeqSendCommand("play midio");
        setPauseCaption("Pause");
        seqoState = 1;
        break;
    }
}

void frmPlaying::cmdStop_Click() {
    m_player.SeqSendCommand("stop midio");
    m_player.SeqSendCommand("seek midio to start");
    deviceStopped();
}

void frmPlaying::cmdCancel_Click() {
    m_player.SeqSendCommand("stop midio");
    seqoState = 0;
    hide();
}

// The close box ends the playback like Finished but sends nothing; the player then drops this
// window and makes a new one for the next playback.
void frmPlaying::closeEvent(QCloseEvent *event) {
    m_closedByBox = true;
    QDialog::closeEvent(event);
}

} // namespace parlet
