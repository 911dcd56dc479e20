#include "canopen/sdo_abort.h"

#include "base/hex.h"

namespace canopen {
namespace {

const abort_entry abort_table[] = {
    {0x05030000, "触发位未交替", "toggle bit not alternated"},
    {0x05040000, "SDO协议超时", "SDO protocol timed out"},
    {0x05040001, "命令字无效或未知", "client/server command specifier not valid or unknown"},
    {0x05040002, "块大小无效", "invalid block size"},
    {0x05040003, "序号无效", "invalid sequence number"},
    {0x05040004, "CRC错误", "CRC error"},
    {0x05040005, "内存不足", "out of memory"},
    {0x06010000, "不支持的访问", "unsupported access to an object"},
    {0x06010001, "读取只写对象", "attempt to read a write only object"},
    {0x06010002, "写入只读对象", "attempt to write a read only object"},
    {0x06020000, "对象不存在", "object does not exist in the object dictionary"},
    {0x06040041, "对象不能映射到PDO", "object cannot be mapped to the PDO"},
    {0x06040042, "映射长度超出PDO长度", "number and length of objects to be mapped would exceed PDO length"},
    {0x06040043, "参数不兼容", "general parameter incompatibility"},
    {0x06040047, "设备内部不兼容", "general internal incompatibility in the device"},
    {0x06060000, "硬件错误导致访问失败", "access failed due to a hardware error"},
    {0x06070010, "数据类型或长度不匹配", "data type does not match, length of service parameter does not match"},
    {0x06070012, "数据过长", "data type does not match, length of service parameter too high"},
    {0x06070013, "数据过短", "data type does not match, length of service parameter too low"},
    {0x06090011, "子索引不存在", "sub-index does not exist"},
    {0x06090030, "参数值无效", "invalid value for parameter"},
    {0x06090031, "参数值过大", "value of parameter written too high"},
    {0x06090032, "参数值过小", "value of parameter written too low"},
    {0x06090036, "最大值小于最小值", "maximum value is less than minimum value"},
    {0x060A0023, "资源不可用", "resource not available: SDO connection"},
    {0x08000000, "一般错误", "general error"},
    {0x08000020, "数据无法传输或保存", "data cannot be transferred or stored to the application"},
    {0x08000021, "本地控制导致无法传输", "data cannot be transferred or stored because of local control"},
    {0x08000022, "当前设备状态下无法传输", "data cannot be transferred or stored because of the present device state"},
    {0x08000023, "对象字典生成失败或不存在", "object dictionary dynamic generation fails or no object dictionary is present"},
    {0x08000024, "无可用数据", "no data available"},
};

}  // namespace

const abort_entry *find_abort(uint32_t code)
{
    for (const abort_entry &e : abort_table)
        if (e.code == code)
            return &e;
    return nullptr;
}

QString abort_meaning(uint32_t code)
{
    if (const abort_entry *e = find_abort(code))
        return QStringLiteral("%1/%2").arg(QString::fromUtf8(e->zh), QString::fromLatin1(e->en));
    return QStringLiteral("未知中止代码/unknown abort code");
}

QString abort_text(uint32_t code) { return QStringLiteral("%1 (%2)").arg(abort_meaning(code), hex::prefixed(code, 8)); }

}  // namespace canopen
