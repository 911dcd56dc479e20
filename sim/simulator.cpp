#include "sim/simulator.h"

#include "sim/sim_clock.h"

#include <QStringList>

#include <algorithm>
#include <limits>
#include <mutex>

namespace sim {

namespace {

bool refuse(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// "lss:SERIAL[:firmware]": a CANopen joint without node-ID.
bool parse_lss_joint(const QString &item, const QStringList &parts, joint_config *out, QString *error)
{
    bool ok = false;
    const uint serial = parts.value(1).trimmed().toUInt(&ok, 0);
    if (parts.size() < 2 || parts.size() > 3 || !ok)
        return refuse(error, QStringLiteral("bad LSS joint '%1': expected lss:SERIAL[:firmware]").arg(item));
    uint32_t firmware = default_firmware;
    if (parts.size() == 3) {
        firmware = parts[2].trimmed().toUInt(&ok);
        if (!ok || firmware % 10 == 0)
            return refuse(error, QStringLiteral("bad firmware in '%1': an LSS joint needs CANopen firmware").arg(item));
    }
    *out = {unconfigured_node, firmware, 0, serial};
    return true;
}

}  // namespace

bool parse_nodes(const QString &text, std::vector<joint_config> *out, QString *error)
{
    std::vector<joint_config> result;
    const QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &raw : items) {
        const QString item = raw.trimmed();
        const QStringList parts = item.split(QLatin1Char(':'));
        if (parts.value(0).trimmed() == QLatin1String("lss")) {
            joint_config c{};
            if (!parse_lss_joint(item, parts, &c, error))
                return false;
            result.push_back(c);
            continue;
        }
        bool ok = false;
        const int node = parts.value(0).trimmed().toInt(&ok);
        if (!ok || parts.size() > 2 || node < 1 || node > 127)
            return refuse(error, QStringLiteral("bad joint '%1': expected node[:firmware|:heartbeat|:canopen] with node 1..127, or lss:SERIAL").arg(item));
        uint32_t firmware = default_firmware;
        uint16_t heartbeat_only_ms = 0;
        bool custom_protocol = true;
        const QString kind = parts.value(1).trimmed();
        if (kind.startsWith(QLatin1String("heartbeat"))) {
            const QString period = kind.mid(int(qstrlen("heartbeat")));
            const uint period_ms = period.isEmpty() ? default_heartbeat_ms : period.mid(1).toUInt(&ok);
            if ((!period.isEmpty() && (!period.startsWith(QLatin1Char('/')) || !ok)) || period_ms < 1
                || period_ms > 65535)
                return refuse(error, QStringLiteral("bad heartbeat in '%1': expected node:heartbeat[/1..65535 ms]").arg(item));
            heartbeat_only_ms = static_cast<uint16_t>(period_ms);
        } else if (kind == QLatin1String("canopen")) {
            custom_protocol = false;
        } else if (parts.size() == 2) {
            firmware = parts[1].trimmed().toUInt(&ok);
            if (!ok)
                return refuse(error, QStringLiteral("bad firmware number in '%1'").arg(item));
        }
        for (const joint_config &c : result) {
            if (c.node == node)
                return refuse(error, QStringLiteral("node %1 listed twice").arg(node));
        }
        result.push_back({node, firmware, heartbeat_only_ms, 0x00010000u + static_cast<uint32_t>(node), custom_protocol});
    }
    // LSS tells the joints apart by their identity, so no two may share a serial number.
    for (size_t i = 0; i < result.size(); ++i)
        for (size_t j = i + 1; j < result.size(); ++j)
            if (result[i].heartbeat_only_ms == 0 && result[j].heartbeat_only_ms == 0 && result[i].serial == result[j].serial)
                return refuse(error, QStringLiteral("serial number 0x%1 given twice").arg(result[i].serial, 8, 16, QLatin1Char('0')));
    if (out)
        *out = result;
    return true;
}

QString nodes_of_bus(const QString &text, int index)
{
    const QStringList lists = text.split(QLatin1Char(';'));
    return (index >= 0 && index < lists.size() ? lists[index] : lists.first()).trimmed();
}

simulator &simulator::instance(int index)
{
    static std::mutex made_mutex;
    static simulator *made[vci::max_buses] = {};
    if (index < 0 || index >= vci::max_buses)
        index = 0;
    std::lock_guard<std::mutex> lock(made_mutex);
    if (!made[index]) {
        std::vector<joint_config> joints;
        const QString env = nodes_of_bus(QString::fromLocal8Bit(qgetenv("VELMORA_SIM_NODES")), index);
        QString error;
        if (env.isEmpty() || !parse_nodes(env, &joints, &error)) {
            if (!env.isEmpty())
                qWarning("VELMORA_SIM_NODES: %s; using the default joints", qPrintable(error));
            parse_nodes(QString::fromLatin1(default_nodes), &joints, nullptr);
        }
        made[index] = new simulator(joints);
    }
    return *made[index];
}

simulator::simulator(const std::vector<joint_config> &joints) { configure(joints); }

void simulator::configure(const std::vector<joint_config> &joints)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    joints_.clear();
    producers_.clear();
    const int64_t now = clock::now_us();
    for (const joint_config &c : joints) {
        if (c.heartbeat_only_ms != 0) {
            const int64_t period = int64_t(c.heartbeat_only_ms) * 1000;
            producers_[c.node] = heartbeat_producer{period, now + period};
        } else {
            const bool given = c.serial != 0 || c.node == unconfigured_node;
            joints_.push_back(std::make_unique<joint>(c.node, c.firmware, given ? c.serial : 0x00010000u + uint32_t(c.node),
                                                      c.custom_protocol));
        }
    }
}

std::vector<vci::can_message> simulator::spontaneous()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<vci::can_message> out;
    const int64_t now = clock::now_us();
    for (auto &entry : producers_) {
        heartbeat_producer &p = entry.second;
        if (now < p.next_us)
            continue;
        p.next_us += p.period_us;
        if (p.next_us <= now)
            p.next_us = now + p.period_us;  // a producer does not catch up
        vci::can_message beat;
        beat.id = 0x700u + static_cast<uint32_t>(entry.first);
        beat.len = 1;
        beat.data[0] = static_cast<uint8_t>(canopen_node::nmt_state::operational);
        out.push_back(beat);
    }
    for (auto &j : joints_)
        j->tick(now, out);
    return out;
}

int64_t simulator::next_due_us() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const int64_t now = clock::now_us();
    int64_t due = std::numeric_limits<int64_t>::max();
    for (const auto &entry : producers_)
        due = std::min(due, entry.second.next_us);
    for (const auto &j : joints_)
        due = std::min(due, j->next_due_us(now));
    return due;
}

std::vector<vci::can_message> simulator::power_on()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<vci::can_message> out;
    for (auto &j : joints_)
        j->power_on(out);
    return out;
}

std::vector<vci::can_message> simulator::process(const vci::can_message &frame)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<vci::can_message> out;
    for (auto &j : joints_)
        j->handle(frame, out);
    return out;
}

std::vector<vci::can_message> simulator::inject_fault(int node, uint16_t code)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<vci::can_message> out;
    joint *j = find(node);
    if (!j || code == 0)
        return out;
    j->motor().inject_fault(code);
    if (canopen_node *co = j->canopen()) {
        co->inject_fault(code);
        co->flush_emcy(out);
    }
    return out;
}

bool simulator::block(int node)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    joint *j = find(node);
    if (!j)
        return false;
    j->motor().set_blocked(true);
    return true;
}

joint *simulator::find(int node)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto &j : joints_)
        if (j->node() == node)
            return j.get();
    return nullptr;
}

std::vector<int> simulator::nodes() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<int> result;
    for (const auto &j : joints_)
        if (j->node() != unconfigured_node)
            result.push_back(j->node());
    std::sort(result.begin(), result.end());
    return result;
}

}  // namespace sim
