#include "objects/od_actions.h"

#include "canopen/sdo_abort.h"

namespace objects {
namespace {

constexpr uint16_t store_index = 0x1010;
constexpr uint16_t restore_index = 0x1011;
// The signatures are the ASCII words, least significant byte first on the wire.
const QByteArray save_signature("save");
const QByteArray load_signature("load");

}  // namespace

encoded prepare_write(const od_entry *entry, uint16_t type, const QString &text)
{
    if (entry && !access_writable(entry->access)) {
        encoded e;
        e.error = QStringLiteral("只读对象/the object is read-only (%1)").arg(entry->access);
        return e;
    }
    const value_limits limits = entry ? value_limits{entry->low_limit, entry->high_limit} : value_limits{};
    return encode_value(type, text, limits);
}

QString value_text(const od_entry &entry, const QByteArray &bytes)
{
    const bool hex = is_unsigned_integer(entry.type) && entry.default_value.contains(QLatin1String("0x"), Qt::CaseInsensitive);
    return format_value(entry.type, bytes, hex);
}

bool differs_from_default(const od_entry &entry, const QByteArray &bytes, int node_id)
{
    QString resolved;
    if (entry.default_value.isEmpty() || !resolve_node_id(entry.default_value, node_id, &resolved))
        return false;
    const encoded expected = encode_value(entry.type, resolved);
    if (expected.ok)
        return expected.bytes != bytes;
    return resolved != format_value(entry.type, bytes);
}

read_all_summary read_all(eds_document &document, const sdo_link &link, int node_id,
                          const std::function<bool(int done, int total)> &progress)
{
    std::vector<od_entry *> readable;
    for (od_object &o : document.objects)
        for (od_entry &e : o.entries)
            if (access_readable(e.access))
                readable.push_back(&e);
    read_all_summary summary;
    const int total = static_cast<int>(readable.size());
    for (int i = 0; i < total; ++i) {
        if (progress && !progress(i, total)) {
            summary.cancelled = true;
            return summary;
        }
        od_entry &e = *readable[static_cast<size_t>(i)];
        const sdo_outcome o = canopen::read_object(link, e.index, e.sub);
        if (!o.ok && !o.server_aborted && o.abort == canopen::abort_code::timeout) {
            summary.no_answer = true;
            return summary;
        }
        if (!o.ok) {
            ++summary.refused;
            e.parameter_value.clear();
            e.differs = false;
            continue;
        }
        ++summary.read;
        e.parameter_value = value_text(e, o.data);
        e.differs = differs_from_default(e, o.data, node_id);
    }
    if (progress)
        progress(total, total);
    return summary;
}

int values_held(const eds_document &document)
{
    int n = 0;
    for (const od_object &o : document.objects)
        for (const od_entry &e : o.entries)
            n += e.parameter_value.isEmpty() ? 0 : 1;
    return n;
}

int carry_values(const eds_document &from, eds_document &to)
{
    int lost = 0;
    for (const od_object &o : from.objects)
        for (const od_entry &e : o.entries) {
            if (e.parameter_value.isEmpty())
                continue;
            od_entry *target = find_entry(to, e.index, e.sub);
            if (!target || !target->parameter_value.isEmpty()) {
                lost += target && target->parameter_value == e.parameter_value ? 0 : 1;
                continue;
            }
            target->parameter_value = e.parameter_value;
            target->differs = e.differs;
        }
    return lost;
}

sdo_outcome store_parameters(const sdo_link &link) { return canopen::write_object(link, store_index, 1, save_signature); }

sdo_outcome restore_default_parameters(const sdo_link &link) { return canopen::write_object(link, restore_index, 1, load_signature); }

}  // namespace objects
