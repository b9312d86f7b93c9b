#include "frmCopyReg.h"

#include "common/ToolOptions.h"
#include "tool/LostFocus.h"
#include "ui_frmCopyReg.h"

namespace parlet {
namespace {

std::string text(const QLineEdit *field) {
    return field->text().toLocal8Bit().toStdString();
}

void setText(QLineEdit *field, const std::string &value) {
    field->setText(QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size())));
}

} // namespace

frmCopyReg::frmCopyReg(QWidget &parent, CopyRequest copy)
    : QDialog(&parent), m_copy(std::move(copy)), m_ui(std::make_unique<Ui::frmCopyReg>()) {
    m_ui->setupUi(this);
    onLostFocus(m_ui->txtCopyFrom, [this] { txtCopyFrom_LostFocus(); });
    onLostFocus(m_ui->txtCopyTo, [this] { txtCopyTo_LostFocus(); });
    onLostFocus(m_ui->txtCopyThrough, [this] { txtCopyThrough_LostFocus(); });
    connect(m_ui->cmdCopyOk, &QPushButton::clicked, this, &frmCopyReg::cmdCopyOk_Click);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &frmCopyReg::CancelButton_Click);
}

frmCopyReg::~frmCopyReg() = default;

void frmCopyReg::txtCopyFrom_LostFocus() {
    setText(m_ui->txtCopyFrom, options::copyFromLeft(text(m_ui->txtCopyFrom)));
}

void frmCopyReg::txtCopyTo_LostFocus() {
    auto range = options::firstFieldLeft(text(m_ui->txtCopyTo), text(m_ui->txtCopyThrough));
    setText(m_ui->txtCopyThrough, range.last);
    setText(m_ui->txtCopyTo, range.first);
}

void frmCopyReg::txtCopyThrough_LostFocus() {
    auto range = options::lastFieldLeft(text(m_ui->txtCopyTo), text(m_ui->txtCopyThrough));
    setText(m_ui->txtCopyTo, range.first);
    setText(m_ui->txtCopyThrough, range.last);
}

void frmCopyReg::showEvent(QShowEvent *event) {
    // The source field's text changes when it loses the focus, so it must not start with it: a
    // user who only clicks OK copies from the field's text as it stands.
    m_ui->cmdCopyOk->setFocus();
    QDialog::showEvent(event);
}

void frmCopyReg::cmdCopyOk_Click() {
    // Enter or a shortcut reach OK while a field still has the focus: it loses it now, so that
    // its range rule runs as it does when OK is clicked.
    m_ui->cmdCopyOk->setFocus(Qt::OtherFocusReason);
    m_copy(text(m_ui->txtCopyFrom), text(m_ui->txtCopyTo), text(m_ui->txtCopyThrough));
    hide();
}

void frmCopyReg::CancelButton_Click() {
    hide();
}

} // namespace parlet
