#include "canopen/cia402.h"

#include "base/hex.h"

#include <QStringList>
#include <algorithm>
#include <iterator>

namespace canopen {

namespace {

const controlword_command commands[command_count] = {
    {"shutdown", 0x87, cw_shutdown, "关闭", "Shutdown"},
    {"switch on", 0x8F, cw_switch_on, "开启", "Switch on"},
    {"enable operation", 0x8F, cw_enable_operation, "运行使能", "Enable operation"},
    {"disable voltage", 0x82, cw_disable_voltage, "禁止电压", "Disable voltage"},
    {"quick stop", 0x86, cw_quick_stop, "快速停止", "Quick stop"},
    {"disable operation", 0x8F, cw_disable_operation, "禁止运行", "Disable operation"},
    {"fault reset", 0x80, cw_fault_reset, "故障复位", "Fault reset"},
};

constexpr named_bit reserved{0, nullptr, nullptr};
constexpr named_bit drive_follows{sw_bit::mode_bit12, "跟随指令", "drive follows the command value"};

// The modes as CiA 402 lists them. The cyclic modes take a set-point per SYNC; the profile
// modes and homing plan their own motion.
const mode_info modes[] = {
    {mode_profile_position, "pp", "轮廓位置模式", "Profile position", quantity::position, 0x607A, 0, 0x6064, false,
     mode_end::target_reached, 0, {sw_bit::mode_bit12, "设定点确认", "set-point acknowledge"},
     {sw_bit::mode_bit13, "跟随误差", "following error"}},
    {mode_velocity, "vl", "速度模式", "Velocity", quantity::velocity, 0x6042, 0, 0x6044, false, mode_end::none, 1,
     reserved, reserved},
    {mode_profile_velocity, "pv", "轮廓速度模式", "Profile velocity", quantity::velocity, 0x60FF, 0, 0x606C, false,
     mode_end::none, 2, {sw_bit::mode_bit12, "速度为零", "speed is zero"},
     {sw_bit::mode_bit13, "最大滑差错误", "max slippage error"}},
    {mode_profile_torque, "tq", "轮廓扭矩模式", "Profile torque", quantity::torque, 0x6071, 0, 0x6077, false,
     mode_end::none, 3, reserved, reserved},
    {mode_homing, "hm", "回零模式", "Homing", quantity::position, 0, 0, 0x6064, false, mode_end::homing_attained, 5,
     {sw_bit::mode_bit12, "回零完成", "homing attained"}, {sw_bit::mode_bit13, "回零错误", "homing error"}},
    {mode_interpolated_position, "ip", "位置插补模式", "Interpolated position", quantity::position, 0x60C1, 1, 0x6064,
     true, mode_end::none, 6, {sw_bit::mode_bit12, "插补运行", "interpolation active"}, reserved},
    {mode_cyclic_position, "csp", "周期同步位置模式", "Cyclic synchronous position", quantity::position, 0x607A, 0,
     0x6064, true, mode_end::none, 7, drive_follows, {sw_bit::mode_bit13, "跟随误差", "following error"}},
    {mode_cyclic_velocity, "csv", "周期同步速度模式", "Cyclic synchronous velocity", quantity::velocity, 0x60FF, 0,
     0x606C, true, mode_end::none, 8, drive_follows, reserved},
    {mode_cyclic_torque, "cst", "周期同步扭矩模式", "Cyclic synchronous torque", quantity::torque, 0x6071, 0, 0x6077,
     true, mode_end::none, 9, drive_follows, reserved},
};

constexpr named_bit mode_independent_flags[] = {
    {sw_bit::warning, "警告", "warning"},
    {sw_bit::remote, "远程", "remote"},
    {sw_bit::target_reached, "目标到达", "target reached"},
    {sw_bit::internal_limit, "内部限位", "internal limit active"},
};
constexpr named_bit unknown_bit12{sw_bit::mode_bit12, "模式位12", "mode bit 12"};
constexpr named_bit unknown_bit13{sw_bit::mode_bit13, "模式位13", "mode bit 13"};

constexpr named_bit digital_inputs[] = {
    {di_negative_limit, "负限位开关", "negative limit switch"},
    {di_positive_limit, "正限位开关", "positive limit switch"},
    {di_home_switch, "原点开关", "home switch"},
};

// In order of the code (find_error_code searches it by halves). The texts are those of the
// error document (Document/CANopen_Error.xml), which the control window reads; a test keeps
// the two alike.
const error_code_info error_codes[] = {
    {0x0000, "错误复位/无错误", "Error reset or no error"},
    {0x1000, "一般错误", "Generic error"},
    {0x2000, "电流错误", "Current error"},
    {0x2300, "输出电流错误", "Current, device output side"},
    {0x2310, "持续过流", "Continuous over-current"},
    {0x2320, "短路/接地故障", "Short circuit / earth leakage"},
    {0x3000, "电压错误", "Voltage error"},
    {0x3210, "直流母线过压", "DC link over-voltage"},
    {0x3220, "直流母线欠压", "DC link under-voltage"},
    {0x4000, "温度错误", "Temperature error"},
    {0x4200, "驱动器过温", "Device over-temperature"},
    {0x4310, "驱动器温度过高", "Drive temperature too high"},
    {0x5000, "驱动器硬件故障", "Device hardware error"},
    {0x5530, "数据存储器故障", "Data storage error"},
    {0x6000, "驱动器软件故障", "Device software error"},
    {0x6100, "内部软件错误", "Internal software error"},
    {0x6200, "用户软件错误", "User software error"},
    {0x6320, "参数错误", "Parameter error"},
    {0x7000, "附加模块故障", "Additional modules error"},
    {0x7121, "电机堵转", "Motor blocked"},
    {0x7300, "传感器故障", "Sensor error"},
    {0x7303, "旋转变压器1故障", "Resolver 1 fault"},
    {0x7305, "增量编码器1故障", "Incremental sensor 1 fault"},
    {0x7310, "速度传感器故障", "Speed sensor error"},
    {0x7320, "位置传感器故障", "Position sensor error"},
    {0x8000, "监控错误", "Monitoring error"},
    {0x8100, "通信错误", "Communication error"},
    {0x8110, "CAN溢出(报文丢失)", "CAN overrun (objects lost)"},
    {0x8120, "CAN错误被动", "CAN in error passive mode"},
    {0x8130, "节点保护或心跳错误", "Life guard or heartbeat error"},
    {0x8140, "已从总线关闭恢复", "Recovered from bus off"},
    {0x8200, "协议错误", "Protocol error"},
    {0x8210, "PDO长度错误", "PDO not processed due to length error"},
    {0x8220, "PDO长度超出", "PDO length exceeded"},
    {0x8250, "RPDO超时", "RPDO timeout"},
    {0x8300, "扭矩控制错误", "Torque control error"},
    {0x8311, "扭矩过大", "Excess torque"},
    {0x8400, "速度控制错误", "Velocity controller error"},
    {0x8500, "位置控制错误", "Position controller error"},
    {0x8600, "定位控制错误", "Positioning controller error"},
    {0x8611, "位置跟随误差过大", "Following error"},
    {0x8612, "位置超出参考限位", "Reference limit"},
    {0x9000, "外部错误", "External error"},
    {0xF000, "附加功能错误", "Additional functions error"},
    {0xFF00, "驱动器自定义错误", "Device specific error"},
};

const error_code_info *exact_error_code(uint16_t code)
{
    const auto *end = std::end(error_codes);
    const auto *it = std::lower_bound(std::begin(error_codes), end, code,
                                      [](const error_code_info &e, uint16_t c) { return e.code < c; });
    return it != end && it->code == code ? it : nullptr;
}

}  // namespace

const controlword_command &command_info(command c) { return commands[static_cast<int>(c)]; }

const controlword_command *command_of(uint16_t cw)
{
    // Fault reset first: with bit 7 set the drive takes no other command from the word.
    if (cw & cw_bit::fault_reset)
        return &commands[static_cast<int>(command::fault_reset)];
    for (const controlword_command &c : commands)
        if ((cw & c.mask) == c.value)
            return &c;
    return nullptr;
}

const mode_info *modes_begin() { return std::begin(modes); }
const mode_info *modes_end() { return std::end(modes); }

const mode_info *find_mode(int8_t value)
{
    for (const mode_info &m : modes)
        if (m.value == value)
            return &m;
    return nullptr;
}

std::vector<named_bit> statusword_flags(uint16_t sw, const mode_info *mode)
{
    std::vector<named_bit> out;
    for (const named_bit &b : mode_independent_flags)
        if (sw & b.mask)
            out.push_back(b);
    const named_bit bit12 = mode ? mode->bit12 : unknown_bit12;
    const named_bit bit13 = mode ? mode->bit13 : unknown_bit13;
    // A reserved bit that is set is still shown, by number.
    if (sw & sw_bit::mode_bit12)
        out.push_back(bit12.mask ? bit12 : unknown_bit12);
    if (sw & sw_bit::mode_bit13)
        out.push_back(bit13.mask ? bit13 : unknown_bit13);
    return out;
}

std::vector<named_bit> digital_input_flags(uint32_t inputs)
{
    std::vector<named_bit> out;
    for (const named_bit &b : digital_inputs)
        if (inputs & b.mask)
            out.push_back(b);
    return out;
}

drive_state state_of(uint16_t sw)
{
    switch (sw & sw_powered_state_mask) {
    case 0x21: return drive_state::ready_to_switch_on;
    case 0x23: return drive_state::switched_on;
    case 0x27: return drive_state::operation_enabled;
    case 0x07: return drive_state::quick_stop_active;
    default: break;
    }
    switch (sw & sw_state_mask) {
    case 0x00: return drive_state::not_ready;
    case 0x40: return drive_state::switch_on_disabled;
    case 0x0F: return drive_state::fault_reaction_active;
    case 0x08: return drive_state::fault;
    default: return drive_state::unknown;
    }
}

const char *state_name_zh(drive_state state)
{
    switch (state) {
    case drive_state::not_ready: return "未准备好";
    case drive_state::switch_on_disabled: return "禁止开启";
    case drive_state::ready_to_switch_on: return "准备开启";
    case drive_state::switched_on: return "已开启";
    case drive_state::operation_enabled: return "运行使能";
    case drive_state::quick_stop_active: return "快速停止";
    case drive_state::fault_reaction_active: return "故障响应";
    case drive_state::fault: return "故障";
    case drive_state::unknown: break;
    }
    return "未知状态";
}

const char *state_name_en(drive_state state)
{
    switch (state) {
    case drive_state::not_ready: return "Not ready to switch on";
    case drive_state::switch_on_disabled: return "Switch on disabled";
    case drive_state::ready_to_switch_on: return "Ready to switch on";
    case drive_state::switched_on: return "Switched on";
    case drive_state::operation_enabled: return "Operation enabled";
    case drive_state::quick_stop_active: return "Quick stop active";
    case drive_state::fault_reaction_active: return "Fault reaction active";
    case drive_state::fault: return "Fault";
    case drive_state::unknown: break;
    }
    return "Unknown state";
}

QString state_text(drive_state state)
{
    return QString::fromUtf8(state_name_zh(state)) + QLatin1Char('\n') + QString::fromLatin1(state_name_en(state));
}

enable_command next_enable_command(uint16_t statusword, int look)
{
    enable_command c;
    const auto send = [&c](uint16_t first, int count = 1, uint16_t second = 0) {
        c.what = enable_command::action::send;
        c.controlwords[0] = first;
        c.controlwords[1] = second;
        c.count = count;
    };
    switch (state_of(statusword)) {
    case drive_state::operation_enabled: break;
    case drive_state::fault: send(cw_disable_voltage, 2, cw_fault_reset); break;
    case drive_state::switch_on_disabled: send(cw_shutdown); break;
    case drive_state::ready_to_switch_on: send(cw_switch_on); break;
    case drive_state::switched_on: send(cw_enable_operation); break;
    case drive_state::quick_stop_active: send(look == 0 ? cw_enable_operation : cw_disable_voltage); break;
    default: c.what = enable_command::action::settle; break;
    }
    return c;
}

QString enable_failed_text(bool known, uint16_t statusword)
{
    if (!known)
        return QStringLiteral("使能失败，驱动器无应答\nEnable failed, no answer from the drive");
    const QStringList state = state_text(state_of(statusword)).split(QLatin1Char('\n'));
    return QStringLiteral("使能失败，驱动器状态：%1\nEnable failed, drive state: %2").arg(state.value(0), state.value(1));
}

statusword_reading read_statusword(uint16_t sw, const mode_info *mode)
{
    return {state_of(sw), statusword_flags(sw, mode)};
}

QString statusword_summary(uint16_t sw, const mode_info *mode)
{
    const statusword_reading r = read_statusword(sw, mode);
    QString out = QString::fromLatin1(state_name_en(r.state)).toLower();
    QStringList flags;
    for (const named_bit &b : r.flags)
        flags << QString::fromLatin1(b.en);
    if (!flags.isEmpty())
        out += QStringLiteral("; ") + flags.join(QStringLiteral(", "));
    return out;
}

QString statusword_text(uint16_t sw, const mode_info *mode)
{
    const statusword_reading r = read_statusword(sw, mode);
    QStringList zh, en;
    for (const named_bit &b : r.flags) {
        zh << QString::fromUtf8(b.zh);
        en << QString::fromLatin1(b.en);
    }
    QString out = QString::fromUtf8(state_name_zh(r.state));
    if (!zh.isEmpty())
        out += QStringLiteral("：") + zh.join(QStringLiteral("、"));
    out += QLatin1Char('\n') + QString::fromLatin1(state_name_en(r.state));
    if (!en.isEmpty())
        out += QStringLiteral(": ") + en.join(QStringLiteral(", "));
    return out;
}

const error_code_info *find_error_code(uint16_t code)
{
    if (const error_code_info *e = exact_error_code(code))
        return e;
    for (uint16_t family_mask : {uint16_t(0xFFF0), uint16_t(0xFF00), uint16_t(0xF000)}) {
        const uint16_t family = code & family_mask;
        if (family == 0)
            break;  // 0x0000 is error reset, no family
        if (const error_code_info *e = exact_error_code(family))
            return e;
    }
    return nullptr;
}

bool error_code_known(uint16_t code) { return exact_error_code(code) != nullptr; }

QString error_code_text(uint16_t code)
{
    const error_code_info *e = find_error_code(code);
    if (!e)
        return QString();
    return QStringLiteral("%1(%2)\n%3")
        .arg(QString::fromUtf8(e->zh), hex::prefixed(code, 4), QString::fromLatin1(e->en));
}

const error_code_info *error_codes_begin() { return std::begin(error_codes); }
const error_code_info *error_codes_end() { return std::end(error_codes); }

bool pdo_mapped_value(const std::vector<uint32_t> &map, const uint8_t *data, int len, uint16_t index, uint8_t subindex,
                      uint32_t *raw, int *bits)
{
    int offset = 0;  // in bits
    for (const uint32_t entry : map) {
        const int length = static_cast<int>(entry & 0xFF);
        if ((entry >> 16) == index && ((entry >> 8) & 0xFF) == subindex) {
            if (length == 0 || length > 32 || offset + length > 8 * len)
                return false;
            uint64_t v = 0;
            for (int b = 0; b < 8 && b < len; ++b)
                v |= uint64_t(data[b]) << (8 * b);
            v >>= offset;
            *raw = static_cast<uint32_t>(length == 32 ? v : v & ((uint64_t(1) << length) - 1));
            *bits = length;
            return true;
        }
        offset += length;
    }
    return false;
}

}  // namespace canopen
