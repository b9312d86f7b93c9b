#pragma once
// Acting inside modal windows: the test schedules what the user does once the window is up, then
// clicks the button that opens it.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace parlet::testing_tool {

// Runs `action` on the first modal window of type `Window` to come up. If none comes up within
// `deadline` ms, the test fails and every modal window is closed so that the test does not hang.
template <typename Window>
void whenShown(std::function<void(Window &)> action, int deadline = 10000) {
    auto *timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, action, deadline] {
        auto *window = qobject_cast<Window *>(QApplication::activeModalWidget());
        if (window && window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(*window);
            return;
        }
        *waited += 5;
        if (*waited > deadline) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no " << Window::staticMetaObject.className() << " came up";
            while (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start();
}

} // namespace parlet::testing_tool
