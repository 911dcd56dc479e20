#include "custom_protocol/guardian.h"

#include <QList>

namespace guardian {

bool watch::take(const QByteArray &line, int64_t now_ms)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    const QByteArray &verb = words.first();
    if (words.size() == 1 && verb == "tick") {
        alive_ms_ = now_ms;
        return true;
    }
    if (words.size() == 1 && verb == "bye") {
        goodbye_ = true;
        return true;
    }
    if ((words.size() != 3 && words.size() != 4) || (verb != "moving" && verb != "rest"))
        return false;
    bool ok = false;
    const int node = words[1].toInt(&ok);
    const QByteArray &kind = words[2];
    if (!ok || node < 1 || node > 127)
        return false;
    int bus = 0;
    if (words.size() == 4) {
        bus = words[3].toInt(&ok);
        if (!ok || bus < 0 || bus >= max_buses)
            return false;
    }
    const std::pair<int, int> key(bus, node);
    if (verb == "moving") {
        if (kind != "profile" && kind != "analog")
            return false;
        if (joints_.empty())
            alive_ms_ = now_ms;
        motions &m = joints_[key];
        (kind == "profile" ? m.profile : m.analog) = true;
        return true;
    }
    if (kind != "profile" && kind != "analog" && kind != "all")
        return false;
    const auto it = joints_.find(key);
    if (it == joints_.end())
        return true;
    if (kind == "all" || kind == "profile")
        it->second.profile = false;
    if (kind == "all" || kind == "analog")
        it->second.analog = false;
    if (!it->second.profile && !it->second.analog)
        joints_.erase(it);
    return true;
}

std::vector<joint_ref> watch::listed() const
{
    std::vector<joint_ref> joints;
    for (const auto &j : joints_)
        joints.push_back({j.first.first, j.first.second});
    return joints;
}

bool watch::hung(int64_t now_ms) const { return !joints_.empty() && now_ms - alive_ms_ > hang_ms; }

std::vector<custom_request> stop_requests() { return {write_stop_motion(), write_analog_stop()}; }

}  // namespace guardian
