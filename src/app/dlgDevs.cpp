#include "dlgDevs.h"

#include "app/MainForm.h"
#include "ui_dlgDevs.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace parlet {

dlgDevs::dlgDevs(MainForm &mainForm)
    : QDialog(&mainForm, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_ui(std::make_unique<Ui::dlgDevs>()) {
    m_ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_ui->OKButton, &QPushButton::clicked, this, &dlgDevs::OKButton_Click);
    // A double click on a line is the usual shortcut for choosing it.
    connect(m_ui->lstDevs, &QListWidget::itemDoubleClicked, this, &dlgDevs::OKButton_Click);
}

dlgDevs::~dlgDevs() = default;

int dlgDevs::ListIndex() const {
    return m_ui->lstDevs->currentRow();
}

std::string dlgDevs::ListText() const {
    const QListWidgetItem *item = m_ui->lstDevs->currentItem();
    return item ? item->text().toLocal8Bit().toStdString() : std::string();
}

void dlgDevs::OKButton_Click() {
    hide();
}

void dlgDevs::closeEvent(QCloseEvent *event) {
    m_closedByCloseBox = true;
    QDialog::closeEvent(event);
}

// Without a Cancel button, Escape has nothing to do.
void dlgDevs::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace parlet
