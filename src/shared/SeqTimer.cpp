#include "SeqTimer.h"

#include <QTimer>

namespace parlet {

SeqTimer::SeqTimer(QObject *parent) : QObject(parent), m_timer(new QTimer(this)) {
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &SeqTimer::seqTimer_Timer);
}

SeqTimer::~SeqTimer() = default;

void SeqTimer::setDuty(Duty duty, std::function<void()> run) {
    m_duties[static_cast<std::size_t>(duty)] = std::move(run);
}

void SeqTimer::start() {
    m_timer->setInterval(1000);
    m_timer->start();
}

void SeqTimer::stop() {
    m_timer->stop();
}

bool SeqTimer::isActive() const {
    return m_timer->isActive();
}

int SeqTimer::interval() const {
    return m_timer->interval();
}

void SeqTimer::seqTimer_Timer() {
    for (const auto &duty : m_duties)
        if (duty)
            duty();
}

} // namespace parlet
