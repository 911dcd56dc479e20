#include "canopen/cia_objects.h"

#include "base/hex.h"

#include <iterator>

namespace canopen {
namespace {

using t = data_type;

const cia_object objects[] = {
    {0x1000, object_var, "设备类型", "Device type"},
    {0x1001, object_var, "错误寄存器", "Error register"},
    {0x1005, object_var, "同步报文COB-ID", "COB-ID SYNC message"},
    {0x1006, object_var, "通信周期", "Communication cycle period"},
    {0x1008, object_var, "设备名称", "Manufacturer device name"},
    {0x1009, object_var, "硬件版本", "Manufacturer hardware version"},
    {0x100A, object_var, "软件版本", "Manufacturer software version"},
    {0x100C, object_var, "保护时间", "Guard time"},
    {0x100D, object_var, "寿命因子", "Life time factor"},
    {0x1010, object_array, "保存参数", "Store parameters"},
    {0x1011, object_array, "恢复默认参数", "Restore default parameters"},
    {0x1014, object_var, "紧急报文COB-ID", "COB-ID EMCY"},
    {0x1017, object_var, "心跳生产时间", "Producer heartbeat time"},
    {0x1018, object_record, "标识对象", "Identity object"},
    {0x1400, object_record, "RPDO1通信参数", "RPDO 1 communication parameter"},
    {0x1600, object_record, "RPDO1映射参数", "RPDO 1 mapping parameter"},
    {0x1800, object_record, "TPDO1通信参数", "TPDO 1 communication parameter"},
    {0x1A00, object_record, "TPDO1映射参数", "TPDO 1 mapping parameter"},
    {0x603F, object_var, "错误代码", "Error code"},
    {0x6040, object_var, "控制字", "Controlword"},
    {0x6041, object_var, "状态字", "Statusword"},
    {0x6060, object_var, "工作模式", "Modes of operation"},
    {0x6061, object_var, "工作模式显示", "Modes of operation display"},
    {0x6064, object_var, "实际位置", "Position actual value"},
    {0x6065, object_var, "跟随误差窗口", "Following error window"},
    {0x606C, object_var, "实际速度", "Velocity actual value"},
    {0x6071, object_var, "目标扭矩值", "Target torque"},
    {0x6075, object_var, "电机额定电流", "Motor rated current"},
    {0x6077, object_var, "实际扭矩值", "Torque actual value"},
    {0x6078, object_var, "实际电流值", "Current actual value"},
    {0x607A, object_var, "目标位置", "Target position"},
    {0x6080, object_var, "电机最大速度", "Max motor speed"},
    {0x6081, object_var, "轮廓速度", "Profile velocity"},
    {0x6083, object_var, "轮廓加速度", "Profile acceleration"},
    {0x6084, object_var, "轮廓减速度", "Profile deceleration"},
    {0x6098, object_var, "回零方式", "Homing method"},
    {0x6099, object_array, "回零速度", "Homing speeds"},
    {0x609A, object_var, "回零加速度", "Homing acceleration"},
    {0x60C1, object_array, "插补数据记录", "Interpolation data record"},
    {0x60FD, object_var, "数字输入", "Digital inputs"},
    {0x60FF, object_var, "目标速度", "Target velocity"},
    {0x6502, object_var, "支持的驱动模式", "Supported drive modes"},
};

const char *const highest_zh = "最高子索引";
const char *const highest_en = "Highest sub-index supported";
const char *const unmapped = "0x00000000";

const cia_entry entries[] = {
    {0x1000, 0, nullptr, nullptr, t::unsigned32, "ro", "0x00020192", "", "", false},
    {0x1001, 0, nullptr, nullptr, t::unsigned8, "ro", "0", "", "", true},
    {0x1005, 0, nullptr, nullptr, t::unsigned32, "rw", "0x00000080", "", "", false},
    {0x1006, 0, nullptr, nullptr, t::unsigned32, "rw", "0", "", "", false},
    {0x1008, 0, nullptr, nullptr, t::visible_string, "const", "", "", "", false},
    {0x1009, 0, nullptr, nullptr, t::visible_string, "const", "", "", "", false},
    {0x100A, 0, nullptr, nullptr, t::visible_string, "const", "", "", "", false},
    {0x100C, 0, nullptr, nullptr, t::unsigned16, "rw", "0", "", "", false},
    {0x100D, 0, nullptr, nullptr, t::unsigned8, "rw", "0", "", "", false},
    {0x1010, 0, highest_zh, highest_en, t::unsigned8, "ro", "1", "", "", false},
    {0x1010, 1, "保存所有参数", "Save all parameters", t::unsigned32, "rw", "1", "", "", false},
    {0x1011, 0, highest_zh, highest_en, t::unsigned8, "ro", "1", "", "", false},
    {0x1011, 1, "恢复所有默认参数", "Restore all default parameters", t::unsigned32, "rw", "1", "", "", false},
    {0x1014, 0, nullptr, nullptr, t::unsigned32, "ro", "$NODEID+0x80", "", "", false},
    {0x1017, 0, nullptr, nullptr, t::unsigned16, "rw", "0", "", "", false},
    {0x1018, 0, highest_zh, highest_en, t::unsigned8, "ro", "4", "", "", false},
    {0x1018, 1, "厂商ID", "Vendor-ID", t::unsigned32, "ro", "0x00000000", "", "", false},
    {0x1018, 2, "产品代码", "Product code", t::unsigned32, "ro", "0x00000402", "", "", false},
    {0x1018, 3, "修订号", "Revision number", t::unsigned32, "ro", "0x00010000", "", "", false},
    {0x1018, 4, "序列号", "Serial number", t::unsigned32, "ro", "", "", "", false},
    {0x1400, 0, highest_zh, highest_en, t::unsigned8, "ro", "2", "", "", false},
    {0x1400, 1, "RPDO的COB-ID", "COB-ID used by RPDO", t::unsigned32, "rw", "$NODEID+0x200", "", "", false},
    {0x1400, 2, "传输类型", "Transmission type", t::unsigned8, "rw", "255", "", "", false},
    {0x1600, 0, "映射对象个数", "Number of mapped objects", t::unsigned8, "rw", "1", "0", "8", false},
    {0x1600, 1, "映射对象1", "Mapped object 1", t::unsigned32, "rw", "0x60400010", "", "", false},
    {0x1600, 2, "映射对象2", "Mapped object 2", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1600, 3, "映射对象3", "Mapped object 3", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1600, 4, "映射对象4", "Mapped object 4", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1600, 5, "映射对象5", "Mapped object 5", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1600, 6, "映射对象6", "Mapped object 6", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1600, 7, "映射对象7", "Mapped object 7", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1600, 8, "映射对象8", "Mapped object 8", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1800, 0, highest_zh, highest_en, t::unsigned8, "ro", "5", "", "", false},
    {0x1800, 1, "TPDO的COB-ID", "COB-ID used by TPDO", t::unsigned32, "rw", "$NODEID+0x180", "", "", false},
    {0x1800, 2, "传输类型", "Transmission type", t::unsigned8, "rw", "255", "", "", false},
    {0x1800, 3, "禁止时间", "Inhibit time", t::unsigned16, "rw", "0", "", "", false},
    {0x1800, 5, "事件定时器", "Event timer", t::unsigned16, "rw", "0", "", "", false},
    {0x1A00, 0, "映射对象个数", "Number of mapped objects", t::unsigned8, "rw", "1", "0", "8", false},
    {0x1A00, 1, "映射对象1", "Mapped object 1", t::unsigned32, "rw", "0x60410010", "", "", false},
    {0x1A00, 2, "映射对象2", "Mapped object 2", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1A00, 3, "映射对象3", "Mapped object 3", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1A00, 4, "映射对象4", "Mapped object 4", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1A00, 5, "映射对象5", "Mapped object 5", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1A00, 6, "映射对象6", "Mapped object 6", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1A00, 7, "映射对象7", "Mapped object 7", t::unsigned32, "rw", unmapped, "", "", false},
    {0x1A00, 8, "映射对象8", "Mapped object 8", t::unsigned32, "rw", unmapped, "", "", false},
    {0x603F, 0, nullptr, nullptr, t::unsigned16, "ro", "0", "", "", true},
    {0x6040, 0, nullptr, nullptr, t::unsigned16, "rww", "0", "", "", true},
    {0x6041, 0, nullptr, nullptr, t::unsigned16, "ro", "", "", "", true},
    {0x6060, 0, nullptr, nullptr, t::integer8, "rww", "0", "", "", true},
    {0x6061, 0, nullptr, nullptr, t::integer8, "ro", "0", "", "", true},
    {0x6064, 0, nullptr, nullptr, t::integer32, "ro", "", "", "", true},
    {0x6065, 0, nullptr, nullptr, t::unsigned32, "rw", "20000", "", "", false},
    {0x606C, 0, nullptr, nullptr, t::integer32, "ro", "", "", "", true},
    {0x6071, 0, nullptr, nullptr, t::integer16, "rww", "0", "", "", true},
    {0x6075, 0, nullptr, nullptr, t::unsigned32, "rw", "3000", "1", "0x7FFFFFFF", false},
    {0x6077, 0, nullptr, nullptr, t::integer16, "ro", "", "", "", true},
    {0x6078, 0, nullptr, nullptr, t::integer16, "ro", "", "", "", true},
    {0x607A, 0, nullptr, nullptr, t::integer32, "rww", "0", "", "", true},
    {0x6080, 0, nullptr, nullptr, t::unsigned32, "rw", "5000", "0", "0x7FFFFFFF", false},
    {0x6081, 0, nullptr, nullptr, t::unsigned32, "rww", "", "0", "0x7FFFFFFF", true},
    {0x6083, 0, nullptr, nullptr, t::unsigned32, "rw", "", "1", "0x7FFFFFFF", false},
    {0x6084, 0, nullptr, nullptr, t::unsigned32, "rw", "", "1", "0x7FFFFFFF", false},
    {0x60C1, 0, highest_zh, highest_en, t::unsigned8, "ro", "2", "", "", false},
    {0x60C1, 1, "插补位置低位", "Set-point low word", t::unsigned16, "rww", "0", "", "", true},
    {0x60C1, 2, "插补位置高位", "Set-point high word", t::unsigned16, "rww", "0", "", "", true},
    {0x60FF, 0, nullptr, nullptr, t::integer32, "rww", "0", "", "", true},
    {0x6502, 0, nullptr, nullptr, t::unsigned32, "ro", "0x000003CD", "", "", false},
};

}  // namespace

table_view<cia_object> cia_objects() { return {std::begin(objects), std::end(objects)}; }

table_view<cia_entry> cia_entries() { return {std::begin(entries), std::end(entries)}; }

const cia_object *find_cia_object(uint16_t index)
{
    for (const cia_object &o : objects)
        if (o.index == index)
            return &o;
    return nullptr;
}

const cia_entry *find_cia_entry(uint16_t index, uint8_t sub)
{
    for (const cia_entry &e : entries)
        if (e.index == index && e.sub == sub)
            return &e;
    return nullptr;
}

QString entry_name_zh(const cia_entry &e)
{
    const cia_object *o = e.zh ? nullptr : find_cia_object(e.index);
    return QString::fromUtf8(o ? o->zh : e.zh);
}

QString entry_name_en(const cia_entry &e)
{
    const cia_object *o = e.en ? nullptr : find_cia_object(e.index);
    return QString::fromLatin1(o ? o->en : e.en);
}

bool is_identity_entry(uint16_t index, uint8_t sub)
{
    return index == identity_index && sub >= identity_vendor && sub <= identity_serial;
}

QString identity_text(uint32_t value) { return hex::prefixed(value, 8); }

QString identity_text(const QByteArray &bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes.size() && i < 4; ++i)
        v |= uint32_t(uint8_t(bytes[i])) << (8 * i);
    return identity_text(v);
}

}  // namespace canopen
