#include "objects/od_actions.h"

#include "can/vci/bus_backend.h"
#include "canopen/cia_objects.h"
#include "canopen/sdo_abort.h"

namespace objects {

using canopen::data_type;
using canopen::encode_value;
using canopen::encoded;
using canopen::format_value;
using canopen::is_unsigned_integer;
using canopen::value_limits;

namespace {

constexpr uint16_t store_index = 0x1010;
constexpr uint16_t restore_index = 0x1011;
// The signatures are the ASCII words, least significant byte first on the wire.
const QByteArray save_signature("save");
const QByteArray load_signature("load");

}  // namespace

canopen::encoded prepare_write(const od_entry *entry, uint16_t type, const QString &text)
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
    if (canopen::is_identity_entry(entry.index, entry.sub) && bytes.size() == 4)
        return canopen::identity_text(bytes);
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

std::unique_ptr<canopen::sdo_job> read_all_job(eds_document &document, const sdo_link &link, int node_id,
                                               std::function<void(const read_all_summary &)> done)
{
    auto readable = std::make_shared<std::vector<od_entry *>>();
    for (od_object &o : document.objects)
        for (od_entry &e : o.entries)
            if (access_readable(e.access) && e.type != static_cast<uint16_t>(data_type::domain))
                readable->push_back(&e);
    auto summary = std::make_shared<read_all_summary>();
    auto next = std::make_shared<size_t>(0);
    return std::make_unique<canopen::sdo_job>(
        link,
        [readable, next]() -> std::optional<canopen::sdo_transfer> {
            if (*next >= readable->size())
                return std::nullopt;
            const od_entry &e = *(*readable)[(*next)++];
            return canopen::sdo_transfer::upload(e.index, e.sub);
        },
        [readable, next, summary, node_id](const canopen::sdo_transfer &, const sdo_outcome &o) {
            od_entry &e = *(*readable)[*next - 1];
            if (!o.ok && !o.server_aborted && o.abort == canopen::abort_code::timeout) {
                summary->no_answer = true;
                return false;
            }
            if (!o.ok) {
                ++summary->refused;
                e.parameter_value.clear();
                e.differs = false;
                return true;
            }
            ++summary->read;
            e.parameter_value = value_text(e, o.data);
            e.differs = differs_from_default(e, o.data, node_id);
            return true;
        },
        [summary, done](bool cancelled) {
            summary->cancelled = cancelled;
            if (done)
                done(*summary);
        },
        static_cast<int>(readable->size()));
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

QString bus_lost_text()
{
    if (!vci::bus_lost())
        return QString();
    const QString why = vci::bus_lost_reason();
    return QStringLiteral("总线断开/bus lost") + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
}

QString failure_text(const sdo_outcome &o)
{
    const QString lost = o.server_aborted ? QString() : bus_lost_text();
    return lost.isEmpty() ? canopen::abort_text(o.abort) : lost;
}

canopen::sdo_transfer store_parameters() { return canopen::sdo_transfer::download(store_index, 1, save_signature); }

canopen::sdo_transfer restore_default_parameters()
{
    return canopen::sdo_transfer::download(restore_index, 1, load_signature);
}

}  // namespace objects
