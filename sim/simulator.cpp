#include "sim/simulator.h"

#include "sim/sim_clock.h"

#include <QStringList>

namespace sim {

bool parse_nodes(const QString &text, std::vector<joint_config> *out, QString *error)
{
    std::vector<joint_config> result;
    const QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &raw : items) {
        const QString item = raw.trimmed();
        const QStringList parts = item.split(QLatin1Char(':'));
        bool ok = false;
        const int node = parts.value(0).trimmed().toInt(&ok);
        if (!ok || parts.size() > 2 || node < 1 || node > 127) {
            if (error)
                *error = QStringLiteral("bad joint '%1': expected node[:firmware] with node 1..127").arg(item);
            return false;
        }
        uint32_t firmware = default_firmware;
        uint16_t heartbeat_only_ms = 0;
        const QString kind = parts.value(1).trimmed();
        if (kind.startsWith(QLatin1String("heartbeat"))) {
            const QString period = kind.mid(int(qstrlen("heartbeat")));
            const uint period_ms = period.isEmpty() ? default_heartbeat_ms : period.mid(1).toUInt(&ok);
            if ((!period.isEmpty() && (!period.startsWith(QLatin1Char('/')) || !ok)) || period_ms < 1
                || period_ms > 65535) {
                if (error)
                    *error = QStringLiteral("bad heartbeat in '%1': expected node:heartbeat[/1..65535 ms]").arg(item);
                return false;
            }
            heartbeat_only_ms = static_cast<uint16_t>(period_ms);
        } else if (parts.size() == 2) {
            firmware = parts[1].trimmed().toUInt(&ok);
            if (!ok) {
                if (error)
                    *error = QStringLiteral("bad firmware number in '%1'").arg(item);
                return false;
            }
        }
        for (const joint_config &c : result) {
            if (c.node == node) {
                if (error)
                    *error = QStringLiteral("node %1 listed twice").arg(node);
                return false;
            }
        }
        result.push_back({node, firmware, heartbeat_only_ms});
    }
    if (out)
        *out = result;
    return true;
}

simulator &simulator::instance()
{
    static simulator *sim = [] {
        std::vector<joint_config> joints;
        const QByteArray env = qgetenv("VELMORA_SIM_NODES");
        QString error;
        if (env.isEmpty() || !parse_nodes(QString::fromLocal8Bit(env), &joints, &error)) {
            if (!env.isEmpty())
                qWarning("VELMORA_SIM_NODES: %s; using the default joints", qPrintable(error));
            parse_nodes(QString::fromLatin1(default_nodes), &joints, nullptr);
        }
        return new simulator(joints);
    }();
    return *sim;
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
            joints_[c.node] = std::make_unique<joint>(c.node, c.firmware);
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
        p.next_us = now + p.period_us;
        vci::can_message beat;
        beat.id = 0x700u + static_cast<uint32_t>(entry.first);
        beat.len = 1;
        beat.data[0] = static_cast<uint8_t>(canopen_node::nmt_state::operational);
        out.push_back(beat);
    }
    for (auto &entry : joints_) {
        if (canopen_node *node = entry.second->canopen())
            node->heartbeat(now, out);
    }
    return out;
}

std::vector<vci::can_message> simulator::power_on()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<vci::can_message> out;
    for (auto &entry : joints_)
        entry.second->power_on(out);
    return out;
}

std::vector<vci::can_message> simulator::process(const vci::can_message &frame)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<vci::can_message> out;
    for (auto &entry : joints_)
        entry.second->handle(frame, out);
    return out;
}

joint *simulator::find(int node)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = joints_.find(node);
    return it == joints_.end() ? nullptr : it->second.get();
}

std::vector<int> simulator::nodes() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<int> result;
    for (const auto &entry : joints_)
        result.push_back(entry.first);
    return result;
}

}  // namespace sim
