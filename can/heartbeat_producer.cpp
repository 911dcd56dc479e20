#include "can/heartbeat_producer.h"

#include "can/bus.h"
#include "can/vci/bus_backend.h"

#include "base/desktop_seams.h"
#include "can/adapter.h"

#include <QCoreApplication>
#include <QSettings>
#include <QThread>

namespace heartbeat {

int node_id()
{
    bool ok = false;
    const int id = QSettings(desktop_seams::settings_file(), QSettings::IniFormat)
                       .value(QStringLiteral("guard/node_id"), default_node_id)
                       .toInt(&ok);
    return ok && id >= 1 && id <= 127 ? id : default_node_id;
}

producer &producer::instance()
{
    // Never destroyed: a static QTimer would be torn down after the application's thread is gone.
    static producer *p = new producer;
    return *p;
}

producer::producer() : timer_(new QTimer(this))
{
    timer_->setInterval(period_ms);
    connect(timer_, &QTimer::timeout, this, &producer::beat);
    // The timer, a child, goes along.
    if (QCoreApplication::instance() && thread() != QCoreApplication::instance()->thread())
        moveToThread(QCoreApplication::instance()->thread());
}

void producer::hold(const QString &holder)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holders_.insert(holder);
    }
    QMetaObject::invokeMethod(this, [this] { apply(); }, Qt::AutoConnection);
}

void producer::release(const QString &holder)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holders_.erase(holder);
    }
    QMetaObject::invokeMethod(this, [this] { apply(); }, Qt::AutoConnection);
}

bool producer::held() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !holders_.empty();
}

void producer::fall_silent() { timer_->stop(); }

void producer::apply()
{
    const bool wanted = held();
    if (wanted && !timer_->isActive()) {
        id_ = node_id();
        beat();
        timer_->start();
    } else if (!wanted && timer_->isActive()) {
        timer_->stop();
    }
}

void producer::beat_if_due()
{
    if (thread() != QThread::currentThread() || !timer_->isActive() || since_beat_.elapsed() < period_ms)
        return;
    beat();
    timer_->start();
}

void producer::beat()
{
    since_beat_.start();
    const uint8_t state = state_operational;
    send_frame(cob_base + static_cast<uint32_t>(id_), &state, 1, 0);
    // A joint guarded on another bus consumes the beat there: Velmora is a node of every bus it
    // has open.
    for (int i = 1; i < vci::max_buses; ++i)
        if (can::bus::at(i).is_open())
            can::bus::at(i).send(cob_base + static_cast<uint32_t>(id_), &state, 1);
}

}  // namespace heartbeat
