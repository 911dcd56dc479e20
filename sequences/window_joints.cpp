#include "sequences/window_joints.h"

#include "joints/joint_table.h"

#include <algorithm>

namespace sequences {

namespace {

joint_key key_of(const joints::joint_state &j)
{
    return {j.protocol == joints::joint_protocol::custom ? joint_protocol::custom : joint_protocol::canopen,
            j.address.node, j.address.bus};
}

}  // namespace

listed_joints listed_joints_of(joints::joint_table &table)
{
    listed_joints l;
    l.list = [&table] {
        // What the buses heard and discoveries found, also while the window was never shown.
        table.take_heard();
        std::vector<known_joint> out;
        for (const joints::joint_state &j : table.rows()) {
            known_joint k;
            k.key = key_of(j);
            k.name = j.name;
            k.enabled = joints::joint_table::to_stop(j);
            out.push_back(k);
        }
        return out;
    };
    l.stop_enabled = [&table](const std::vector<joint_key> &skip, QStringList *lines) {
        std::vector<int> rows;
        for (size_t i = 0; i < table.rows().size(); ++i) {
            const joints::joint_state &j = table.rows()[i];
            const joint_key key = key_of(j);
            if (joints::joint_table::to_stop(j) && std::find(skip.begin(), skip.end(), key) == skip.end())
                rows.push_back(static_cast<int>(i));
        }
        if (rows.empty())
            return true;
        table.stop(rows);
        bool all = true;
        for (const int row : rows) {
            const joints::joint_state &j = table.rows()[static_cast<size_t>(row)];
            const bool confirmed = j.outcome == joints::action_outcome::stopped;
            all = all && confirmed;
            QString line = QStringLiteral("%1 (%2): ").arg(joint_name(key_of(j)), j.name);
            line += confirmed ? QStringLiteral("stopped") : QStringLiteral("stop not confirmed");
            if (!confirmed && !j.outcome_detail.isEmpty())
                line += QStringLiteral(" (") + j.outcome_detail + QLatin1Char(')');
            lines->append(line);
        }
        return all;
    };
    return l;
}

}  // namespace sequences
