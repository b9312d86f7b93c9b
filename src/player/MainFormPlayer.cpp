// The main window's MCI playback: Play, the playing window and the tick's position duty.
#include "app/MainForm.h"

#include "player/frmPlaying.h"
#include "ui_MainForm.h"

namespace parlet {

void MainForm::wirePlayerControls() {
    connect(m_ui->SeqPlay, &QPushButton::clicked, this, &MainForm::SeqPlay_Click);
    connect(m_ui->SeqRec, &QPushButton::clicked, this, &MainForm::SeqRec_Click);
}
void MainForm::SeqPlay_Click() {}
void MainForm::mciDisplay() {}
void MainForm::closeMciOnUnload() {}

} // namespace parlet
