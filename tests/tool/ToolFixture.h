#pragma once
// The main window on the fake platform, and acting inside its modal windows: the test schedules
// what the user does once the window is up, then clicks the button that opens it.
#include "app/MainForm.h"
#include "fakes/FakePlatform.h"
#include "tool/ToolFrontEnd.h"
#include "tool/shellWait.h"

#include <QTest>
#include <QtWidgets>

#include <gmock/gmock.h>

namespace parlet::testing_tool {

using namespace Qt::StringLiterals;

template <typename T = QLineEdit> T *child(const QObject &parent, const char *name) {
    return parent.findChild<T *>(QString::fromUtf8(name));
}

// Runs `action` in the modal window of type `Window` that comes up next. If none comes up within
// ten seconds, the test fails and every modal window is closed so that it does not hang.
template <typename Window> void whenShown(std::function<void(Window &)> action) {
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action, polls = 0]() mutable {
        auto *window = qobject_cast<Window *>(QApplication::activeModalWidget());
        if (!window && ++polls < 2000)
            return;
        timer->deleteLater();
        timer->stop();
        if (window)
            return action(*window);
        ADD_FAILURE() << "no " << Window::staticMetaObject.className() << " came up";
        while (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    timer->start(5);
}

// The consoles of the tools started so far that are still open, oldest first.
inline QList<ToolConsole *> consoles(MainForm &form) {
    auto all = form.tool().waitWindow().findChildren<ToolConsole *>();
    all.removeIf([](ToolConsole *console) { return !console->isVisible(); });
    return all;
}

class ToolTest : public testing::Test {
  protected:
    ToolTest() : form(fake.platform) {} // no devices chosen: -i-1 -o-1
    void click(const char *button) { child<QPushButton>(form, button)->click(); }
    void tick() { form.seqTimer().seqTimer_Timer(); }
    // The next command ends as soon as it has started, and its end is seen at the next tick.
    void endNextCommand() {
        whenShown<shellWait>([this](shellWait &) {
            fake.processes.finishLast();
            tick();
        });
    }

    fakes::FakePlatform fake;
    MainForm form;
};

} // namespace parlet::testing_tool
