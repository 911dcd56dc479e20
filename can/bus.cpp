#include "can/bus.h"

#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/heartbeat_producer.h"
#include "can/step_job.h"
#include "can/vci/bus_backend.h"
#include "can/vci/bus_tap.h"
#include "can/vci/vci.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <cstring>

namespace can {

namespace {

// The longest a wait for a frame goes without looking whether Velmora's heartbeat is due
// (every 100 ms).
constexpr int beat_slice_ms = 5;

// The adapter's batch read, handed over as records.
int take_frames(const bus &b, bus_frame *out, int capacity)
{
    vci_frame buffer[frame_batch_size];
    const int32_t want = capacity < frame_batch_size ? capacity : frame_batch_size;
    const int32_t received = Receive(b.device_type(), b.device_index(), b.channel(), buffer, want, 10);
    if (received <= 0)
        return 0;
    const int32_t taken = received < want ? received : want;
    for (int32_t i = 0; i < taken; ++i) {
        bus_frame &f = out[i];
        f = bus_frame();
        f.id = buffer[i].id;
        f.len = buffer[i].data_len;
        std::memcpy(f.data, buffer[i].data, static_cast<size_t>(bus_frame_bytes(f)));
        f.extended = buffer[i].extern_flag != 0;
        f.remote = buffer[i].remote_flag != 0;
        f.t_us = buffer[i].time_flag ? int64_t(buffer[i].time_stamp) * 100 : -1;
        f.bus = static_cast<uint8_t>(b.index());
    }
    return taken;
}

}  // namespace

bus::bus(int index) : index_(index)
{
    const bus *self = this;
    ops_ = std::make_unique<exchange_bus>();
    exchange_bus &o = *ops_;
    o.index = index;
    o.clear_buffer = [self] { ClearBuffer(self->device_type(), self->device_index(), self->channel()); };
    o.send = [self](uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote) {
        // Bus 0 keeps the original send operation, the one its tests and windows know.
        if (self->index() == 0)
            return send_frame(id, data, len, remote);
        return send_frame_to(self->device_type(), self->device_index(), self->channel(), id, data, len, remote);
    };
    o.sleep_ms = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    o.pending = [self] { return GetReceiveNum(self->device_type(), self->device_index(), self->channel()); };
    o.receive = [self](uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens, uint8_t *flags) {
        if (self->index() == 0)
            return receive_batch(ids, payloads, lens, flags);
        bus_frame frames[frame_batch_size];
        const int n = take_frames(*self, frames, frame_batch_size);
        for (int i = 0; i < n; ++i) {
            ids[i] = frames[i].id;
            lens[i] = frames[i].len;
            std::memcpy(payloads[i], frames[i].data, 8);
            flags[i] = static_cast<uint8_t>((frames[i].extended ? batch_flag::extended : 0) |
                                            (frames[i].remote ? batch_flag::remote : 0));
        }
        return n > 0;
    };
    o.take = [self](bus_frame *frames, int capacity) { return take_frames(*self, frames, capacity); };
    o.wait_for_frame = [self](int ms) {
        // Woken by the frame itself (a poll every 0.1 ms cost each exchange 0.04-0.09 ms); the
        // slices let a beat that fell due go out while a silent node is waited for.
        QElapsedTimer waited;
        waited.start();
        for (qint64 left = ms; left > 0; left = ms - waited.elapsed()) {
            if (vci::wait_for_frame(self->device_type(), self->device_index(),
                                    static_cast<int>(qMin<qint64>(left, beat_slice_ms))))
                return;
            heartbeat::producer::instance().beat_if_due();
        }
    };
}

bus::~bus() = default;

bus &bus::at(int index)
{
    // All made at once, by whichever thread asks first, and kept for the life of the process.
    static bus **const buses = [] {
        static bus *made[vci::max_buses];
        for (int i = 0; i < vci::max_buses; ++i)
            made[i] = new bus(i);
        return made;
    }();
    if (index < 0 || index >= vci::max_buses)
        index = 0;
    return *buses[index];
}

int bus::selected()
{
    const int n = static_cast<int>(vci::selected_bus_descriptions(can_index).size());
    return n < 1 ? 1 : (n > vci::max_buses ? vci::max_buses : n);
}

int32_t bus::device_type() const { return ::device_type; }
int32_t bus::device_index() const { return index_ == 0 ? ::device_index : index_; }
int32_t bus::channel() const { return index_ == 0 ? can_index : 0; }

job_runner &bus::jobs()
{
    // A QObject of the GUI thread, where its steps run: made there, on first use.
    if (!jobs_)
        jobs_.reset(new job_runner);
    return *jobs_;
}

bool bus::is_open() const { return vci::bus_open(index_); }

QString bus::name() const
{
    const QString iface = vci::bus_interface(index_);
    if (!iface.isEmpty())
        return iface;
    // Not open yet: the name it will have, as the bus choice gives it.
    const QStringList choices = vci::selected_bus_descriptions(can_index);
    const QString choice = choices.value(index_, QStringLiteral("bus %1").arg(index_));
    if (choice == QLatin1String("sim"))
        return QStringLiteral("sim%1").arg(choices.mid(0, index_).count(QStringLiteral("sim")));
    const int colon = choice.indexOf(QLatin1Char(':'));
    return colon > 0 ? choice.mid(colon + 1).section(QLatin1Char('/'), -1) : choice;
}

bool bus::open(QString *why)
{
    const auto fail = [&](const QString &step) {
        if (why)
            *why = QStringLiteral("%1: %2 failed").arg(name(), step);
        return false;
    };
    if (index_ == 0)
        return fail(QStringLiteral("open (bus 0 opens with the adapter settings)"));
    if (OpenDevice(device_type(), device_index(), channel()) != 1)
        return fail(QStringLiteral("open"));
    vci_init_config config;
    std::memset(&config, 0, sizeof config);
    config.acc_mask = 0xFFFFFFFFu;
    config.mode = static_cast<uint8_t>(work_mode & 0xFF);
    timing_for_rate(baud_kbps, &config.timing0, &config.timing1);
    if (InitCAN(device_type(), device_index(), channel(), &config) != 1) {
        CloseDevice(device_type(), device_index());
        return fail(QStringLiteral("init"));
    }
    if (StartCAN(device_type(), device_index(), channel()) != 1) {
        CloseDevice(device_type(), device_index());
        return fail(QStringLiteral("start"));
    }
    replies_.clear();  // what another opening learned says nothing of this one
    return true;
}

void bus::close()
{
    if (index_ == 0 || !is_open())
        return;
    if (jobs_ && jobs_->busy())
        jobs_->cancel();
    CloseDevice(device_type(), device_index());
}

bool bus::send(uint32_t id, const uint8_t *data, uint8_t len) const { return ops_->send(id, data, len, 0); }

QStringList open_other_buses()
{
    QStringList failed;
    for (int i = 1; i < bus::selected(); ++i) {
        QString why;
        if (!bus::at(i).is_open() && !bus::at(i).open(&why))
            failed << why;
    }
    return failed;
}

void close_other_buses()
{
    for (int i = 1; i < vci::max_buses; ++i)
        bus::at(i).close();
}

}  // namespace can
