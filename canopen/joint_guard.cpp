#include "canopen/joint_guard.h"

#include "base/drive_journal.h"
#include "base/guard_settings.h"
#include "base/hex.h"
#include "can/heartbeat_producer.h"
#include "canopen/cia402.h"
#include "canopen/drive_changes.h"
#include "canopen/sdo_abort.h"

#include <mutex>
#include <optional>
#include <set>
#include <utility>

namespace canopen {

namespace {

const QString journal_kind = QStringLiteral("guard");
// The reads a guard needs before anything is changed; subs of 0x1016 beyond are not looked at.
constexpr uint32_t max_consumer_subs = 127;

std::mutex registry_mutex;
std::set<std::pair<int, int>> registry;

QString holder(int bus, int node) { return QStringLiteral("guard-bus%1-node%2").arg(bus).arg(node); }

QString address(uint16_t index, uint8_t sub) { return QStringLiteral("0x%1:%2").arg(hex::digits(index, 4)).arg(sub); }

bool lacks_object(uint32_t abort) { return abort == abort_code::no_object || abort == abort_code::no_subindex; }

struct read_result {
    bool ok = false;
    uint32_t value = 0;
    uint32_t abort = 0;
};

read_result read(const sdo_link &link, uint16_t index, uint8_t sub)
{
    const sdo_outcome o = read_object(link, index, sub);
    read_result r{o.ok, 0, o.abort};
    for (int i = 0; i < o.data.size() && i < 4; ++i)
        r.value |= static_cast<uint32_t>(static_cast<uint8_t>(o.data[i])) << (8 * i);
    return r;
}

bool write(const sdo_link &link, const drive_journal::write &w, uint32_t value, QString *why)
{
    QByteArray bytes;
    for (int i = 0; i < w.size; ++i)
        bytes += static_cast<char>(value >> (8 * i));
    const sdo_outcome o = write_object(link, w.index, w.sub, bytes);
    if (!o.ok)
        *why = QStringLiteral("%1 = %2: %3").arg(address(w.index, w.sub), hex::prefixed(value), abort_text(o.abort));
    return o.ok;
}

const drive_journal::write *journalled(const std::optional<drive_journal::entry> &left, uint16_t index)
{
    if (left)
        for (const drive_journal::write &w : left->restore)
            if (w.index == index)
                return &w;
    return nullptr;
}

// The sub of 0x1016 to use and the value found in it; 0 when none is free.
uint8_t choose_sub(const sdo_link &link, int me, uint32_t count, uint32_t *found, uint32_t *abort)
{
    uint8_t free_sub = 0;
    uint32_t free_value = 0;
    for (uint32_t k = 1; k <= count && k <= max_consumer_subs; ++k) {
        const read_result r = read(link, object::consumer_heartbeat_time, static_cast<uint8_t>(k));
        if (!r.ok) {
            if (lacks_object(r.abort))
                continue;
            *abort = r.abort;
            return 0;
        }
        const uint32_t watched = (r.value >> 16) & 0xFF;
        const uint32_t ms = r.value & 0xFFFF;
        // A second entry for the same producer is refused by the drive: take that one over.
        if (watched == static_cast<uint32_t>(me) && ms != 0) {
            *found = r.value;
            return static_cast<uint8_t>(k);
        }
        if (free_sub == 0 && (ms == 0 || watched == 0)) {
            free_sub = static_cast<uint8_t>(k);
            free_value = r.value;
        }
    }
    *found = free_value;
    return free_sub;
}

QString not_set(const QString &why)
{
    return QStringLiteral("未设置心跳保护/Heartbeat guard not set: %1").arg(why);
}

struct extra_object {
    uint16_t index;
    uint8_t sub;
    int size;
    uint32_t guarded_value;
};
constexpr extra_object extras[] = {
    {object::abort_connection_option, 0, 2, quick_stop_on_abort_connection},
    {object::error_behaviour, 1, 1, pre_operational_on_error},
};

QString entry_name(const std::vector<drive_journal::write> &restore)
{
    QStringList objects;
    for (const drive_journal::write &w : restore)
        objects << (w.sub == 0 ? QStringLiteral("0x%1").arg(hex::digits(w.index, 4)) : address(w.index, w.sub));
    return QStringLiteral("heartbeat guard (%1)").arg(objects.join(QStringLiteral(", ")));
}

}  // namespace

bool guarded(int bus, int node)
{
    std::lock_guard<std::mutex> lock(registry_mutex);
    return registry.count({bus, node}) != 0;
}

void forget_guards()
{
    std::set<std::pair<int, int>> held;
    {
        std::lock_guard<std::mutex> lock(registry_mutex);
        held.swap(registry);
    }
    for (const auto &joint : held)
        heartbeat::producer::instance().release(holder(joint.first, joint.second));
}

guard_result engage_guard(const sdo_link &link, int bus, int node)
{
    if (guarded(bus, node))
        return {true, QString()};
    if (!guard::enabled())
        return {};
    heartbeat::producer &beat = heartbeat::producer::instance();
    // The heartbeat is on the bus before any drive is told to expect it.
    beat.hold(holder(bus, node));
    auto give_up = [&](const QString &why) {
        beat.release(holder(bus, node));
        return guard_result{false, not_set(why)};
    };
    const int me = heartbeat::node_id();
    const std::optional<drive_journal::entry> left = drive_journal::find(bus, node, journal_kind);

    const read_result count = read(link, object::consumer_heartbeat_time, 0);
    if (!count.ok)
        return give_up(lacks_object(count.abort)
                           ? QStringLiteral("驱动器没有0x1016/the drive has no heartbeat consumer (0x1016)")
                           : QStringLiteral("0x1016:0: %1").arg(abort_text(count.abort)));
    uint8_t sub = 0;
    uint32_t found = 0;
    if (const drive_journal::write *w = journalled(left, object::consumer_heartbeat_time)) {
        sub = w->sub;
        found = w->value;
    } else {
        uint32_t abort = 0;
        sub = choose_sub(link, me, count.value, &found, &abort);
        if (abort != 0)
            return give_up(QStringLiteral("0x1016: %1").arg(abort_text(abort)));
        if (sub == 0)
            return give_up(QStringLiteral("0x1016没有空闲子索引/no free sub of 0x1016"));
    }
    std::vector<drive_journal::write> restore{{object::consumer_heartbeat_time, sub, found, 4}};
    QStringList notes;
    for (const extra_object &x : extras) {
        if (const drive_journal::write *w = journalled(left, x.index)) {
            restore.push_back(*w);
            continue;
        }
        const read_result r = read(link, x.index, x.sub);
        if (r.ok)
            restore.push_back({x.index, x.sub, r.value, x.size});
        else if (lacks_object(r.abort))
            notes << QStringLiteral("驱动器没有%1，跳过/the drive has no %1: skipped").arg(address(x.index, x.sub));
        else
            return give_up(QStringLiteral("%1: %2").arg(address(x.index, x.sub), abort_text(r.abort)));
    }
    const drive_journal::entry entry{bus, node, journal_kind, entry_name(restore), restore};
    drive_journal::put(entry);

    QString why;
    if (!write(link, restore.front(), consumer_entry(me, guard_timeout_ms), &why)) {
        if (!left)
            drive_journal::remove(bus, node, journal_kind);
        return give_up(why);
    }
    for (size_t k = 1; k < restore.size(); ++k) {
        for (const extra_object &x : extras)
            if (x.index == restore[k].index && !write(link, restore[k], x.guarded_value, &why))
                notes << why;
    }
    {
        std::lock_guard<std::mutex> lock(registry_mutex);
        registry.insert({bus, node});
    }
    QString text = QStringLiteral("心跳保护已设置：Velmora心跳(0x%1)停止%2 ms后节点%3快速停止，失能时恢复/Heartbeat guard "
                                  "set: node %3 quick-stops %2 ms after Velmora's heartbeat (0x%1) stops; put back at "
                                  "disable: %4")
                       .arg(hex::digits(heartbeat::cob_base + static_cast<uint32_t>(me), 3))
                       .arg(guard_timeout_ms)
                       .arg(node)
                       .arg(entry.name);
    if (!notes.isEmpty())
        text += QStringLiteral("; ") + notes.join(QStringLiteral("; "));
    return {true, text};
}

guard_result release_guard(const sdo_link &link, int bus, int node)
{
    if (!guarded(bus, node))
        return {};
    QString text;
    if (const std::optional<drive_journal::entry> entry = drive_journal::find(bus, node, journal_kind)) {
        // The consumer goes back first, while the heartbeat still beats: the drive must not
        // take the heartbeat's end for Velmora's death.
        const put_back_result r = put_back(link, *entry);
        text = r.done ? QStringLiteral("心跳保护已恢复/Heartbeat guard put back: %1").arg(entry->name)
                      : QStringLiteral("心跳保护未能恢复，下次连接时再提供/Heartbeat guard not put back, offered again "
                                       "at the next connect: %1")
                            .arg(entry->name);
        if (!r.notes.isEmpty())
            text += QStringLiteral("; ") + r.notes.join(QStringLiteral("; "));
    }
    {
        std::lock_guard<std::mutex> lock(registry_mutex);
        registry.erase({bus, node});
    }
    heartbeat::producer::instance().release(holder(bus, node));
    return {false, text};
}

}  // namespace canopen
