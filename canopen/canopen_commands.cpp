#include "canopen/canopen_commands.h"

#include "base/hex.h"
#include "canopen/cia402.h"
#include "canopen/cia_objects.h"

namespace canopen {
namespace {

step sdo_write(int32_t sdo, uint16_t index, uint8_t sub, uint32_t value, int size, const char *text)
{
    return {sdo_download(sdo, index, sub, value, size), QString::fromUtf8(text)};
}

// Maps the object at its size into entry sub of the mapping record map, with the log text
// "1A00h-01h映射60410010h(状态字)\n1A00h-01h maps 60410010h(status word)": the Chinese name is
// the object table's, en the log's own English name (nullptr: the Chinese one again).
step map_step(int32_t sdo, uint16_t map, uint8_t sub, uint16_t index, uint8_t index_sub, const char *en)
{
    const cia_entry *object = find_cia_entry(index, index_sub);
    const QString zh = object ? entry_name_zh(*object) : QString();
    const int bits = object ? 8 * type_size(static_cast<uint16_t>(object->type)) : 0;
    const uint32_t entry = pdo_map_entry(index, index_sub, static_cast<uint8_t>(bits));
    const QString where = hex::suffixed(map, 4) + QLatin1Char('-') + hex::suffixed(sub, 2);
    return {sdo_download(sdo, map, sub, entry, 4),
            QStringLiteral("%1映射%2(%3)\n%1 maps %2(%4)")
                .arg(where, hex::suffixed(entry, 8), zh, en ? QString::fromUtf8(en) : zh)};
}

bool valid_page(int32_t page) { return page >= 0 && page < page_count; }

// A page outside 0-6 gets the profile position mapping, as it always did.
const mode_info &mode_or_position(int32_t page)
{
    const mode_info *m = find_page_mode(page);
    return m ? *m : *find_mode(mode_profile_position);
}

const char *log_name(quantity kind, const char *velocity, const char *torque, const char *position)
{
    return kind == quantity::velocity ? velocity : kind == quantity::torque ? torque : position;
}

}  // namespace

const mode_info *find_page_mode(int32_t page)
{
    static const int8_t pages[page_count] = {
        mode_profile_position, mode_profile_velocity, mode_profile_torque,       mode_cyclic_position,
        mode_cyclic_velocity,  mode_cyclic_torque,    mode_interpolated_position,
    };
    return valid_page(page) ? find_mode(pages[page]) : nullptr;
}

uint8_t mode_value(int32_t page)
{
    const mode_info *m = find_page_mode(page);
    return m ? static_cast<uint8_t>(m->value) : 0;
}

QString mode_log_text(int32_t page)
{
    const mode_info *m = find_page_mode(page);
    return m ? QStringLiteral("设置为%1\nStarting the operating mode").arg(QString::fromUtf8(m->zh)) : QString();
}

bool page_sets_velocity(int32_t page)
{
    const mode_info *m = find_page_mode(page);
    return m && m->kind != quantity::torque;
}

bool page_holds_position(int32_t page)
{
    const mode_info *m = find_page_mode(page);
    return m && m->cyclic && m->kind == quantity::position;
}

std::vector<step> tpdo_map_steps(int32_t page, int32_t sdo)
{
    constexpr uint16_t comm = object::tpdo1_communication;
    constexpr uint16_t map = object::tpdo1_mapping;
    std::vector<step> s;
    s.push_back(sdo_write(sdo, comm, pdo_cob_id, tpdo1_cob_invalid(sdo), 4, "关闭TPDO\nDisable TPDO"));
    s.push_back(sdo_write(sdo, comm, pdo_transmission_type, 1, 1, "设置传输类型\nDefines the transmission type"));
    if (page == page_pv) {
        s.push_back(sdo_write(sdo, comm, pdo_inhibit_time, 300, 2, "设置禁止时间\nDefines the inhibit time"));
        s.push_back(sdo_write(sdo, comm, pdo_event_timer, 0, 2, "设置周期时间\nDefines the event time"));
    }
    s.push_back(sdo_write(sdo, map, 0, 0, 1,
                          "清除原有映射\nDefines the number of valid entries in the mapping record"));
    s.push_back(map_step(sdo, map, 1, object::statusword, 0, "status word"));
    // The actual value the page's mode controls.
    const mode_info &mode = mode_or_position(page);
    s.push_back(map_step(sdo, map, 2, mode.actual, 0, log_name(mode.kind, "actual speed", "actual torque", "actual position")));
    if (page == page_cst) {
        s.push_back(map_step(sdo, map, 3, object::current_actual_value, 0, "actual current"));
        s.push_back(sdo_write(
            sdo, map, 0, 3, 1,
            "1A00h-00h 写入映射对象个数：3\n1A00h-00h:the number of valid entries in the mapping record:3"));
    } else {
        s.push_back(sdo_write(
            sdo, map, 0, 2, 1,
            "1A00h-00h 写入映射对象个数：2\n1A00h-00h:the number of valid entries in the mapping record:2"));
    }
    s.push_back(sdo_write(sdo, comm, pdo_cob_id, tpdo1_cob_valid(sdo), 4, "打开TPDO\nEnable TPDO"));
    return s;
}

std::vector<step> rpdo_map_steps(int32_t page, int32_t sdo)
{
    constexpr uint16_t comm = object::rpdo1_communication;
    constexpr uint16_t map = object::rpdo1_mapping;
    std::vector<step> s;
    s.push_back(sdo_write(sdo, comm, pdo_cob_id, rpdo1_cob_invalid(sdo), 4, "关闭RPDO\nDisable RPDO"));
    s.push_back(sdo_write(sdo, comm, pdo_transmission_type, 1, 1, "设置传输类型\nDefines the transmission type"));
    s.push_back(sdo_write(sdo, map, 0, 0, 1,
                          "清除原有映射\nDefines the number of valid entries in the mapping record"));
    s.push_back(map_step(sdo, map, 1, object::controlword, 0, "control word"));
    // The set-point of the page's mode; the interpolation data record with its second entry.
    const mode_info &mode = mode_or_position(page);
    if (mode.set_point == object::interpolation_data_record) {
        s.push_back(map_step(sdo, map, 2, object::interpolation_data_record, 1, nullptr));
        s.push_back(map_step(sdo, map, 3, object::interpolation_data_record, 2, nullptr));
        s.push_back(sdo_write(sdo, map, 0, 3, 1,
                              "1600h-00h写映射对象个数:3\n1600h-00h:the number of valid entries in the mapping record:3"));
    } else {
        s.push_back(map_step(sdo, map, 2, mode.set_point, mode.set_point_sub,
                             log_name(mode.kind, "target speed", "target torque", "target position")));
        s.push_back(sdo_write(sdo, map, 0, 2, 1,
                              "1600h-00h写映射对象个数:2\n1600h-00h:the number of valid entries in the mapping record:2"));
    }
    s.push_back(sdo_write(sdo, comm, pdo_cob_id, rpdo1_cob_valid(sdo), 4, "打开RPDO\nEnable RPDO"));
    return s;
}

QString speed_text(const QString &v)
{
    return QStringLiteral("设置速度为%1cnt/s\nSet speed to %1cnt/s").arg(v);
}

QString speed_text_unspaced(const QString &v)
{
    return QStringLiteral("设置速度为%1cnt/s\nSet speed to%1cnt/s").arg(v);
}

QString acceleration_text(const QString &v)
{
    return QStringLiteral("设置加速度为%1cnt/s²\nSet acceleration to %1cnt/s²").arg(v);
}

QString deceleration_text(const QString &v)
{
    return QStringLiteral("设置减速度为%1cnt/s²\nSet deceleration to %1cnt/s²").arg(v);
}

int32_t field_value(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

bool csp_move_allowed(int32_t reference, int32_t target)
{
    const int64_t distance = static_cast<int64_t>(reference) - target;
    return distance >= -1000 && distance <= 1000;
}

int32_t low16_signed(int32_t value)
{
    const int32_t low = value & 0xFFFF;
    return low > 0x7FFF ? low - 0x10000 : low;
}

int32_t current_milliamps(bool current_ok, int32_t current_reply, bool rated_ok, int32_t rated_reply)
{
    if (!rated_ok)
        return 0;
    const int32_t cur = current_ok ? low16_signed(current_reply) : 0;
    // Two 16-bit factors: the product fits in 32 bits; division truncates toward zero.
    return cur * low16_signed(rated_reply) / 1000;
}

}  // namespace canopen
