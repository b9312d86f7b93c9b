#include "frmSeq.h"

#include "app/MainForm.h"

namespace parlet {

frmSeq::frmSeq(MainForm &mainForm) : QDialog(&mainForm), m_mainForm(mainForm) {
    setWindowTitle(QStringLiteral("Sequencer"));
}

frmSeq::~frmSeq() = default;

} // namespace parlet
