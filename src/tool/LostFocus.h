#pragma once
#include <QEvent>
#include <QFocusEvent>
#include <QObject>
#include <QWidget>

#include <functional>
#include <utility>

namespace parlet {

// Runs `handler` whenever `field` loses the keyboard focus to another control, whether or not its
// text changed. Switching to another application or opening a menu is not a loss of focus here.
inline void onLostFocus(QWidget *field, std::function<void()> handler) {
    class Filter final : public QObject {
      public:
        Filter(QObject *parent, std::function<void()> handler)
            : QObject(parent), m_handler(std::move(handler)) {}

        bool eventFilter(QObject *watched, QEvent *event) override {
            if (event->type() == QEvent::FocusOut) {
                const auto reason = static_cast<QFocusEvent *>(event)->reason();
                if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                    m_handler();
            }
            return QObject::eventFilter(watched, event);
        }

      private:
        std::function<void()> m_handler;
    };
    field->installEventFilter(new Filter(field, std::move(handler)));
}

} // namespace parlet
