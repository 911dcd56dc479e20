#include "trace/frame_decoder.h"

#include "base/hex.h"
#include "canopen/canopen_frames.h"
#include "canopen/cia402.h"
#include "canopen/cia_objects.h"
#include "canopen/sdo_abort.h"
#include "canopen/sdo_client.h"
#include "custom_protocol/custom_commands.h"

#include <QStringList>
#include <algorithm>

namespace trace {
namespace {

constexpr uint32_t sync_id = 0x080;
constexpr uint32_t emcy_base = 0x080;
using canopen::sdo_request_base;
using canopen::sdo_response_base;
constexpr uint32_t error_control_base = 0x700;

uint32_t le(const uint8_t *d, int n)
{
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | d[i];
    return v;
}

uint32_t be32(const uint8_t *d) { return uint32_t(d[0]) << 24 | uint32_t(d[1]) << 16 | uint32_t(d[2]) << 8 | d[3]; }

// Maker frames share identifiers with SDO of nodes 65..127; SDO frames always carry 8 bytes.
bool in_node_range(uint32_t id, uint32_t base) { return id > base && id <= base + 0x7F; }
bool is_maker_request(const trace_record &r) { return in_node_range(r.id, maker_request_base) && r.len != 8; }
bool is_maker_reply(const trace_record &r) { return in_node_range(r.id, maker_reply_base) && r.len != 8; }

int pdo_number(uint32_t id, bool *transmit)
{
    // TPDOn at 0x080 + n * 0x100, RPDOn at 0x100 + n * 0x100 (plus the node).
    const uint32_t block = (id - 1) >> 7;  // 0x181..0x1FF -> 3, 0x201..0x27F -> 4, ...
    if (block < 3 || block > 10)
        return 0;
    *transmit = (block & 1) != 0;
    return static_cast<int>((block - 1) / 2);
}

QString object_text(uint16_t index, uint8_t sub)
{
    const QString name = object_name(index);
    const QString where = hex::digits(index, 4) + QLatin1Char(':') + hex::digits(sub, 2);
    return name.isEmpty() ? where : QStringLiteral("%1 %2").arg(where, name);
}

QString value_text(uint32_t v, int bytes) { return QStringLiteral("%1 (%2)").arg(v).arg(hex::prefixed(v, bytes * 2)); }

// "567 (0x0237: operation enabled; remote)" for an object whose values have names.
QString named_value_text(uint16_t index, uint32_t v, int bytes, int node, const decoder_context &context, uint16_t iface)
{
    const QString meaning = value_meaning(index, v, node, context, iface);
    if (meaning.isEmpty())
        return value_text(v, bytes);
    return QStringLiteral("%1 (%2: %3)").arg(v).arg(hex::prefixed(v, bytes * 2), meaning);
}

QString one_line(QString text) { return text.replace(QLatin1Char('\n'), QLatin1String(" / ")); }

// The error code's text: the CiA table's own entry, else the error document's (a maker's codes),
// else the CiA family the code belongs to.
QString error_code_text(uint16_t code, const decoder_context &context)
{
    if (canopen::error_code_known(code))
        return canopen::error_code_text(code);
    const QString document = context.error_text ? context.error_text(code).trimmed() : QString();
    return document.isEmpty() ? canopen::error_code_text(code) : document;
}

QString describe_nmt(const trace_record &r)
{
    if (r.len < 2)
        return QStringLiteral("NMT (short)");
    QString command;
    switch (r.data[0]) {
    case 0x01: command = QStringLiteral("start"); break;
    case 0x02: command = QStringLiteral("stop"); break;
    case 0x80: command = QStringLiteral("enter pre-operational"); break;
    case 0x81: command = QStringLiteral("reset node"); break;
    case 0x82: command = QStringLiteral("reset communication"); break;
    default: command = QStringLiteral("command %1").arg(hex::prefixed(r.data[0], 2)); break;
    }
    const QString target = r.data[1] == 0 ? QStringLiteral("all nodes") : QStringLiteral("node %1").arg(r.data[1]);
    return QStringLiteral("NMT %1 → %2").arg(command, target);
}

QString describe_emcy(const trace_record &r, int node, const decoder_context &context)
{
    if (r.len < 3)
        return QStringLiteral("EMCY node %1 (short)").arg(node);
    const uint16_t code = static_cast<uint16_t>(le(r.data, 2));
    if (code == 0)
        return QStringLiteral("EMCY node %1: error reset, register %2").arg(node).arg(hex::prefixed(r.data[2], 2));
    const QString text = one_line(error_code_text(code, context));
    QString out = QStringLiteral("EMCY node %1: %2").arg(node).arg(hex::prefixed(code, 4));
    if (!text.isEmpty())
        out += QLatin1Char(' ') + text;
    out += QStringLiteral("; register %1").arg(hex::prefixed(r.data[2], 2));
    const QString bits = error_register_bits(r.data[2]);
    if (!bits.isEmpty())
        out += QStringLiteral(" (%1)").arg(bits);
    return out;
}

QString describe_pdo(const trace_record &r, int node, const decoder_context &context, uint16_t iface)
{
    bool transmit = false;
    const int n = pdo_number(r.id, &transmit);
    QString out =
        QStringLiteral("%1PDO%2 node %3").arg(transmit ? QLatin1Char('T') : QLatin1Char('R')).arg(n).arg(node);
    if (r.remote())
        return out + QStringLiteral(" (remote request)");
    const auto it = context.pdo_mappings.find(pdo_key(iface, r.id));
    if (it == context.pdo_mappings.end())
        return out;
    int bit = 0;
    QStringList values;
    for (const pdo_entry &e : it->second) {
        const int bytes = e.bits / 8;
        if (e.bits % 8 != 0 || bytes < 1 || bytes > 4 || bit / 8 + bytes > r.len)
            break;
        const QString name = object_name(e.index);
        values << QStringLiteral("%1=%2")
                      .arg(name.isEmpty() ? object_text(e.index, e.subindex) : name)
                      .arg(e.subindex == 0 ? named_value_text(e.index, le(r.data + bit / 8, bytes), bytes, node, context, iface)
                                           : value_text(le(r.data + bit / 8, bytes), bytes));
        bit += e.bits;
    }
    return values.isEmpty() ? out : out + QStringLiteral(": ") + values.join(QStringLiteral(", "));
}


uint32_t low_bytes(uint32_t v, int bytes) { return bytes >= 4 ? v : v & ((1u << (8 * bytes)) - 1); }

bool expedited(uint8_t cmd, uint8_t specifier) { return (cmd & canopen::sdo_command_mask) == specifier && (cmd & 0x02) != 0; }

QString describe_sdo(const trace_record &r, int node, bool request, const decoder_context &context, uint16_t iface)
{
    const QString who = QStringLiteral("node %1").arg(node);
    if (r.len != 8)
        return QStringLiteral("SDO %1 %2 (not 8 bytes)")
            .arg(request ? QStringLiteral("request") : QStringLiteral("response"), who);
    const uint8_t cmd = r.data[0];
    const uint16_t index = static_cast<uint16_t>(le(r.data + 1, 2));
    const QString object = object_text(index, r.data[3]);
    const uint32_t value = le(r.data + 4, 4);
    const int size = canopen::sdo_expedited_size(cmd);
    auto shown = [&] {
        const uint32_t v = low_bytes(value, size);
        return r.data[3] == 0 ? named_value_text(index, v, size, node, context, iface) : value_text(v, size);
    };
    if (cmd == canopen::sdo_abort)
        return QStringLiteral("SDO abort %1 %2: %3 %4").arg(object, who, hex::prefixed(value, 8), canopen::abort_meaning(value));
    if (request && cmd == canopen::sdo_upload_initiate)
        return QStringLiteral("SDO read %1 %2").arg(object, who);
    if (request && expedited(cmd, canopen::sdo_download_initiate))
        return QStringLiteral("SDO write %1 = %2 %3").arg(object, shown(), who);
    if (!request && expedited(cmd, canopen::sdo_upload_initiate))
        return QStringLiteral("SDO read reply %1 = %2 %3").arg(object, shown(), who);
    if (!request && cmd == 0x60)
        return QStringLiteral("SDO write confirmed %1 %2").arg(object, who);
    return QStringLiteral("SDO %1 %2 command %3").arg(object, who, hex::prefixed(cmd, 2));
}

QString describe_error_control(const trace_record &r, int node)
{
    if (r.remote())
        return QStringLiteral("guarding request node %1").arg(node);
    if (r.len < 1)
        return QStringLiteral("error control node %1 (empty)").arg(node);
    const uint8_t state = r.data[0];
    if (state == 0x00)
        return QStringLiteral("boot-up node %1").arg(node);
    if (state & 0x80)
        return QStringLiteral("guarding node %1: %2 (toggle 1)").arg(node).arg(nmt_state_name(state & 0x7F));
    return QStringLiteral("heartbeat node %1: %2").arg(node).arg(nmt_state_name(state));
}

QString describe_maker(const trace_record &r, int node)
{
    if (r.id > maker_request_base) {
        if (r.remote() || r.len < 2)
            return QStringLiteral("node %1 request (short)").arg(node);
        const uint16_t reg = static_cast<uint16_t>(r.data[0] << 8 | r.data[1]);
        const QString name = maker_register_name(reg);
        if (r.len >= 6) {
            const int32_t v = static_cast<int32_t>(be32(r.data + 2));
            return QStringLiteral("node %1 write %2 = %3").arg(node).arg(name).arg(v);
        }
        return QStringLiteral("node %1 read %2").arg(node).arg(name);
    }
    const QString name = r.aux == no_request ? QString() : QLatin1Char(' ') + maker_register_name(r.aux);
    if (r.len == 1 && r.data[0] == 0x01)
        return QStringLiteral("node %1 accepted%2").arg(node).arg(name);
    if (r.len >= 4)
        return QStringLiteral("node %1 reply%2 = %3").arg(node).arg(name).arg(static_cast<int32_t>(be32(r.data)));
    return QStringLiteral("node %1 reply%2 (%3 bytes)").arg(node).arg(name).arg(r.len);
}

// Error frame classes as SocketCAN and QtSerialBus report them.
QString describe_error_frame(const trace_record &r)
{
    static const struct {
        uint32_t bit;
        const char *text;
    } classes[] = {
        {0x001, "TX timeout"},
        {0x002, "lost arbitration"},
        {0x004, "controller"},
        {0x008, "protocol violation"},
        {0x010, "transceiver"},
        {0x020, "no ACK"},
        {0x040, "bus-off"},
        {0x080, "bus error"},
        {0x100, "controller restarted"},
    };
    QStringList parts;
    for (const auto &c : classes)
        if (r.id & c.bit)
            parts << QString::fromLatin1(c.text);
    if ((r.id & 0x004) && r.len > 1) {
        const uint8_t d = r.data[1];
        if (d & 0x30)
            parts << QStringLiteral("error passive");
        else if (d & 0x0C)
            parts << QStringLiteral("error warning");
        if (d & 0x40)
            parts << QStringLiteral("back to error active");
        if (d & 0x03)
            parts << QStringLiteral("buffer overflow");
    }
    return QStringLiteral("error frame: ") +
           (parts.isEmpty() ? QStringLiteral("unspecified") : parts.join(QStringLiteral(", ")));
}

}  // namespace

frame_kind classify(const trace_record &r)
{
    if (r.error())
        return frame_kind::error_frame;
    if (r.extended() || r.fd())
        return frame_kind::other;
    const uint32_t id = r.id;
    if (id == 0)
        return frame_kind::nmt;
    if (id == sync_id)
        return frame_kind::sync;
    if (in_node_range(id, emcy_base))
        return frame_kind::emcy;
    if (is_maker_request(r) || is_maker_reply(r))
        return frame_kind::maker;
    if (in_node_range(id, sdo_response_base) || in_node_range(id, sdo_request_base))
        return frame_kind::sdo;
    if (in_node_range(id, error_control_base))
        return frame_kind::error_control;
    bool transmit = false;
    if ((id & 0x7F) != 0 && pdo_number(id, &transmit) != 0)
        return frame_kind::pdo;
    return frame_kind::other;
}

int node_of(const trace_record &r)
{
    switch (classify(r)) {
    case frame_kind::nmt: return r.len >= 2 && r.data[1] <= 127 ? r.data[1] : 0;
    case frame_kind::sync:
    case frame_kind::error_frame:
    case frame_kind::other: return 0;
    case frame_kind::maker:
        return static_cast<int>(r.id - (r.id > maker_request_base ? maker_request_base : maker_reply_base));
    default: return static_cast<int>(r.id & 0x7F);
    }
}

QString describe(const trace_record &r, const decoder_context &context, uint16_t iface)
{
    const int node = node_of(r);
    switch (classify(r)) {
    case frame_kind::nmt: return describe_nmt(r);
    case frame_kind::sync:
        return r.len >= 1 ? QStringLiteral("SYNC counter %1").arg(r.data[0]) : QStringLiteral("SYNC");
    case frame_kind::emcy: return describe_emcy(r, node, context);
    case frame_kind::pdo: return describe_pdo(r, node, context, iface);
    case frame_kind::sdo: return describe_sdo(r, node, r.id > sdo_request_base, context, iface);
    case frame_kind::error_control: return describe_error_control(r, node);
    case frame_kind::maker: return describe_maker(r, node);
    case frame_kind::error_frame: return describe_error_frame(r);
    case frame_kind::other: break;
    }
    return QString();
}

QString nmt_state_name(uint8_t state)
{
    switch (state) {
    case 0x00: return QStringLiteral("boot-up");
    case 0x04: return QStringLiteral("stopped");
    case 0x05: return QStringLiteral("operational");
    case 0x7F: return QStringLiteral("pre-operational");
    default: return QStringLiteral("state %1").arg(hex::prefixed(state, 2));
    }
}

QString maker_register_name(uint16_t reg)
{
    namespace r = custom_register;
    static const std::pair<uint16_t, const char *> names[] = {
        {0x0001, "firmware"},
        {r::actual_position, "actual_position"},
        {r::actual_speed, "actual_speed"},
        {r::actual_current, "actual_current"},
        {r::error_code, "error_code"},
        {r::motion_state, "motion_state"},
        {r::control_mode, "control_mode"},
        {r::start_motion, "start_motion"},
        {r::stop_motion, "stop_motion"},
        {r::target_position, "target_position"},
        {r::relative_distance, "relative_distance"},
        {r::profile_acceleration, "profile_acceleration"},
        {r::profile_deceleration, "profile_deceleration"},
        {r::profile_speed, "profile_speed"},
        {r::motion_mode, "motion_mode"},
        {0x00E8, "save_parameters"},
        {r::enable_state, "enable_state"},
        {r::control_source, "control_source"},
        {r::analog_source, "analog_source"},
        {r::analog_target, "analog_target"},
        {r::max_speed_limit, "max_speed_limit"},
    };
    for (const auto &n : names)
        if (n.first == reg)
            return QString::fromLatin1(n.second);
    return QStringLiteral("register %1").arg(hex::prefixed(reg, 4));
}

QString object_name(uint16_t index)
{
    // Every PDO's parameters by their range, the first PDO's included.
    if (index >= 0x1400 && index <= 0x15FF)
        return QStringLiteral("RPDO communication");
    if (index >= 0x1600 && index <= 0x17FF)
        return QStringLiteral("RPDO mapping");
    if (index >= 0x1800 && index <= 0x19FF)
        return QStringLiteral("TPDO communication");
    if (index >= 0x1A00 && index <= 0x1BFF)
        return QStringLiteral("TPDO mapping");
    const canopen::cia_object *o = canopen::find_cia_object(index);
    if (!o)
        return QString();
    // In the flow of a line, lower case: "statusword", but "COB-ID EMCY".
    QString name = QString::fromLatin1(o->en);
    if (name.size() > 1 && !name.at(1).isUpper())
        name[0] = name.at(0).toLower();
    return name;
}

QString error_register_bits(uint8_t reg)
{
    static const char *const bits[8] = {"generic",       "current",        "voltage",  "temperature",
                                        "communication", "device profile", "reserved", "manufacturer"};
    QStringList out;
    for (int i = 0; i < 8; ++i)
        if (reg & (1u << i))
            out << QString::fromLatin1(bits[i]);
    return out.join(QStringLiteral(", "));
}

QString value_meaning(uint16_t index, uint32_t value, int node, const decoder_context &context, uint16_t iface)
{
    namespace object = canopen::object;
    switch (index) {
    case object::statusword: {
        const auto mode = context.modes.find(node_key(iface, node));
        return canopen::statusword_summary(static_cast<uint16_t>(value),
                                           mode == context.modes.end() ? nullptr : canopen::find_mode(mode->second));
    }
    case object::controlword: {
        const canopen::controlword_command *c = canopen::command_of(static_cast<uint16_t>(value));
        QString out = c ? QString::fromLatin1(c->key) : QStringLiteral("no command");
        if (value & canopen::cw_bit::halt)
            out += QStringLiteral(", halt");
        return out;
    }
    case object::modes_of_operation:
    case object::modes_of_operation_display: {
        const canopen::mode_info *m = canopen::find_mode(static_cast<int8_t>(value));
        return m ? QString::fromLatin1(m->en).toLower() : QString();
    }
    case object::error_code: return one_line(error_code_text(static_cast<uint16_t>(value), context));
    case object::digital_inputs: {
        QStringList names;
        for (const canopen::named_bit &b : canopen::digital_input_flags(value))
            names << QString::fromLatin1(b.en);
        return names.isEmpty() ? QStringLiteral("no switch") : names.join(QStringLiteral(", "));
    }
    default: return QString();
    }
}

void maker_request_tracker::observe(trace_record &r, uint16_t iface)
{
    if (r.error() || r.extended() || classify(r) != frame_kind::maker)
        return;
    if (iface >= last_.size()) {
        std::array<uint16_t, 128> none;
        none.fill(no_request);
        last_.resize(iface + 1u, none);
    }
    std::array<uint16_t, 128> &last = last_[iface];
    const int node = node_of(r);
    if (r.id > maker_request_base) {
        last[node] = r.len >= 2 && !r.remote() ? static_cast<uint16_t>(r.data[0] << 8 | r.data[1]) : no_request;
        return;
    }
    r.aux = last[node];
}

void pdo_mapping_tracker::observe(const trace_record &r, decoder_context &context, uint16_t iface)
{
    // The mode a node was set to (a write request) or reports (a read reply).
    if (classify(r) == frame_kind::sdo && r.len == 8 && r.data[3] == 0) {
        const bool request = r.id > sdo_request_base;
        const uint32_t index = le(r.data + 1, 2);
        if (request ? index == canopen::object::modes_of_operation && expedited(r.data[0], canopen::sdo_download_initiate)
                    : index == canopen::object::modes_of_operation_display && expedited(r.data[0], canopen::sdo_upload_initiate))
            context.modes[node_key(iface, node_of(r))] = static_cast<int8_t>(r.data[4]);
    }
    if (classify(r) != frame_kind::sdo || r.id <= sdo_request_base || r.len != 8 || !expedited(r.data[0], canopen::sdo_download_initiate))
        return;
    const int node = node_of(r);
    const uint16_t index = static_cast<uint16_t>(le(r.data + 1, 2));
    const uint8_t sub = r.data[3];
    const uint32_t value = low_bytes(le(r.data + 4, 4), canopen::sdo_expedited_size(r.data[0]));
    const uint16_t area = index & 0xFF00;
    const int number = index & 0xFF;  // PDO number - 1
    if ((area != 0x1400 && area != 0x1600 && area != 0x1800 && area != 0x1A00) || number > 3)
        return;
    const bool transmit = area >= 0x1800;
    const bool mapping = area == 0x1600 || area == 0x1A00;
    const auto inserted = pdos_.emplace(uint32_t(iface) << 10 | uint32_t(node << 3 | (transmit ? 4 : 0) | number), pdo());
    pdo &p = inserted.first->second;
    if (inserted.second)  // predefined connection set: TPDOn 0x080 + n * 0x100, RPDOn 0x100 + n * 0x100
        p.cob_id = static_cast<uint32_t>((transmit ? 0x180 : 0x200) + 0x100 * number + node);
    if (!mapping && sub == 1) {
        context.pdo_mappings.erase(pdo_key(iface, p.cob_id));
        p.cob_id = value & 0x7FF;
    }
    else if (mapping && sub == 0) {
        p.count = static_cast<uint8_t>(std::min<uint32_t>(value, 8));
    }
    else if (mapping && sub >= 1 && sub <= 8) {
        p.entries[sub - 1] = value;
        return;
    }
    else {
        return;
    }
    publish(p, iface, context);
}

void pdo_mapping_tracker::publish(const pdo &p, uint16_t iface, decoder_context &context) const
{
    std::vector<pdo_entry> entries;
    for (int i = 0; i < p.count; ++i)
        entries.push_back({static_cast<uint16_t>(p.entries[i] >> 16), static_cast<uint8_t>(p.entries[i] >> 8),
                           static_cast<uint8_t>(p.entries[i])});
    if (entries.empty())
        context.pdo_mappings.erase(pdo_key(iface, p.cob_id));
    else
        context.pdo_mappings[pdo_key(iface, p.cob_id)] = entries;
}

}  // namespace trace
