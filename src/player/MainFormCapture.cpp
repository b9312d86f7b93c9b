// The main window's capture recorder: Record, the recording window and the tick's display duty.
#include "app/MainForm.h"

#include "player/frmRecording.h"
#include "ui_MainForm.h"

namespace parlet {

void MainForm::SeqRec_Click() {}
void MainForm::captureDisplay() {}

} // namespace parlet
