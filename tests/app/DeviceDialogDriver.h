#pragma once
// Answers the device dialog while it is shown modally: records what it offers, then acts as the
// user would.
#include "app/MainForm.h"
#include "app/dlgDevs.h"
#include "ui_dlgDevs.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace parlet::testing_support {

struct DialogAnswer {
    enum Kind { OkUntouched, PickThenOk, CloseBox } kind = OkUntouched;
    int row = 0;
};
inline DialogAnswer okUntouched() {
    return {DialogAnswer::OkUntouched, 0};
}
inline DialogAnswer pick(int row) {
    return {DialogAnswer::PickThenOk, row};
}
inline DialogAnswer closeBox() {
    return {DialogAnswer::CloseBox, 0};
}

// What the dialog offered when it came up.
struct DialogSeen {
    std::string task;
    std::vector<std::string> lines;
    int selectedRow = -1;

    bool operator==(const DialogSeen &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const DialogSeen &seen) {
    out << '{' << seen.task << " [";
    for (const std::string &line : seen.lines)
        out << line << ';';
    return out << "] row " << seen.selectedRow << '}';
}

class DeviceDialogDriver {
  public:
    DeviceDialogDriver(MainForm &form, std::deque<DialogAnswer> answers)
        : m_form(form), m_answers(std::move(answers)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(0);
    }

    std::vector<DialogSeen> seen;
    std::size_t unanswered() const { return m_answers.size(); }

  private:
    void poll() {
        dlgDevs *dialog = m_form.findChild<dlgDevs *>();
        if (!dialog || !dialog->isVisible())
            return;
        auto &ui = dialog->ui();
        DialogSeen now{ui.lblTask->text().toStdString(), {}, ui.lstDevs->currentRow()};
        for (int row = 0; row < ui.lstDevs->count(); ++row)
            now.lines.push_back(ui.lstDevs->item(row)->text().toStdString());
        seen.push_back(now);
        if (m_answers.empty()) {
            ADD_FAILURE() << "the device dialog came up once more than expected";
            QTest::mouseClick(ui.OKButton, Qt::LeftButton);
            return;
        }
        DialogAnswer answer = m_answers.front();
        m_answers.pop_front();
        switch (answer.kind) {
        case DialogAnswer::CloseBox:
            dialog->close();
            return;
        case DialogAnswer::PickThenOk: {
            QListWidgetItem *item = ui.lstDevs->item(answer.row);
            QTest::mouseClick(ui.lstDevs->viewport(), Qt::LeftButton, {},
                              ui.lstDevs->visualItemRect(item).center());
            break;
        }
        case DialogAnswer::OkUntouched:
            break;
        }
        QTest::mouseClick(ui.OKButton, Qt::LeftButton);
    }

    MainForm &m_form;
    std::deque<DialogAnswer> m_answers;
    QTimer m_timer;
};

} // namespace parlet::testing_support
