#include "scope/scope_recorder.h"

#include "base/hex.h"
#include "canopen/sdo_abort.h"
#include "scope/scope_source.h"

#include <algorithm>
#include <cmath>

namespace scope {
namespace {

namespace obj = recorder_object;

const QString journal_kind = QStringLiteral("recorder");

// The configuration's objects with their sizes, in the order they go back.
struct config_object {
    uint16_t index;
    uint8_t sub;
    int size;
};
std::vector<config_object> config_objects()
{
    std::vector<config_object> c = {{obj::channels, 0, 1}};
    for (uint8_t k = 1; k <= recorder_channel_count; ++k)
        c.push_back({obj::channels, k, 4});
    c.push_back({obj::trigger, 1, 1});
    c.push_back({obj::trigger, 2, 4});
    c.push_back({obj::trigger, 3, 1});
    c.push_back({obj::trigger, 4, 2});
    c.push_back({obj::length, 0, 2});
    c.push_back({obj::divider, 0, 2});
    return c;
}

}  // namespace

int recorder_cycle_us(const canopen::sdo_link &link)
{
    const canopen::sdo_outcome o = canopen::read_object(link, obj::cycle, 0);
    return o.ok && o.data.size() == 4 ? static_cast<int>(little_endian(o.data)) : 0;
}

recorder_setup::recorder_setup(const canopen::sdo_link &link, int node, recorder_plan plan, int bus)
    : link_(link), node_(node), bus_(bus), plan_(std::move(plan))
{
}

bool recorder_setup::read_u32(uint16_t index, uint8_t sub, uint32_t *value)
{
    const canopen::sdo_outcome o = canopen::read_object(link_, index, sub);
    if (o.ok)
        *value = little_endian(o.data);
    return o.ok;
}

bool recorder_setup::write(uint16_t index, uint8_t sub, uint32_t value, int size, uint32_t *abort)
{
    const canopen::sdo_outcome o = canopen::write_object(link_, index, sub, little_endian(value, size));
    *abort = o.abort;
    return o.ok;
}

bool recorder_setup::arm(QString *why)
{
    // Stopped first: the configuration is refused while the recorder runs.
    found_ = {{obj::control, 0, 0, 1, false}};
    for (const config_object &c : config_objects()) {
        uint32_t v = 0;
        if (!read_u32(c.index, c.sub, &v)) {
            *why = QStringLiteral("驱动器无记录器/The drive has no recorder: %1").arg(object_address(c.index, c.sub));
            return false;
        }
        found_.push_back({c.index, c.sub, v, c.size, false});
    }
    drive_journal::put({bus_, node_, journal_kind, QStringLiteral("记录器/Recorder (0x2130-0x2134)"), found_});
    active_ = true;
    struct w {
        uint16_t index;
        uint8_t sub;
        uint32_t value;
        int size;
    };
    std::vector<w> writes = {{obj::control, 0, 0, 1}, {obj::channels, 0, 0, 1}};
    for (size_t k = 0; k < plan_.entries.size(); ++k)
        writes.push_back({obj::channels, static_cast<uint8_t>(k + 1), plan_.entries[k], 4});
    writes.push_back({obj::channels, 0, static_cast<uint32_t>(plan_.entries.size()), 1});
    writes.push_back({obj::trigger, 1, static_cast<uint32_t>(plan_.trigger_channel), 1});
    writes.push_back({obj::trigger, 2, static_cast<uint32_t>(plan_.level_raw), 4});
    writes.push_back({obj::trigger, 3, plan_.rising ? 0u : 1u, 1});
    // The length before the pre-trigger, which must stay below it.
    writes.push_back({obj::length, 0, static_cast<uint32_t>(plan_.length), 2});
    writes.push_back({obj::trigger, 4, static_cast<uint32_t>(plan_.pretrigger), 2});
    writes.push_back({obj::divider, 0, static_cast<uint32_t>(plan_.divider), 2});
    writes.push_back({obj::control, 0, 1, 1});
    for (const w &x : writes) {
        uint32_t abort = 0;
        if (!write(x.index, x.sub, x.value, x.size, &abort)) {
            *why = QStringLiteral("%1 = %2: %3").arg(object_address(x.index, x.sub), hex::prefixed(x.value),
                                                      canopen::abort_text(abort));
            QString ignored;
            restore(&ignored);
            return false;
        }
    }
    return true;
}

bool recorder_setup::state(recorder_state *out)
{
    uint32_t v = 0;
    if (!read_u32(obj::control, 0, &v) || v > 3)
        return false;
    *out = static_cast<recorder_state>(v);
    return true;
}

int recorder_setup::trigger_sample()
{
    uint32_t v = 0;
    return read_u32(obj::trigger_sample, 0, &v) ? static_cast<int>(v) : -1;
}

bool recorder_setup::restore(QString *why)
{
    if (!active_)
        return true;
    active_ = false;
    QStringList failures;
    for (const drive_journal::write &w : found_) {
        uint32_t abort = 0;
        if (!write(w.index, w.sub, w.value, w.size, &abort))
            failures << QStringLiteral("%1: %2").arg(object_address(w.index, w.sub), canopen::abort_text(abort));
    }
    // Refused writes stay journalled, to be offered again at the next connect.
    if (failures.isEmpty())
        drive_journal::remove(bus_, node_, journal_kind);
    *why = failures.join(QLatin1Char('\n'));
    return failures.isEmpty();
}

}  // namespace scope
