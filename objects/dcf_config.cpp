#include "objects/dcf_config.h"

#include "canopen/cia_objects.h"

#include <QStringList>
#include <algorithm>
#include <map>
#include <set>

namespace objects {

using canopen::encode_value;
using canopen::format_value;
using canopen::is_unsigned_integer;

namespace {

constexpr int lowest_node = 1;
constexpr int highest_node = 127;
// Longer text is no node list anyone typed.
constexpr int longest_list = 1000;

constexpr uint16_t rpdo_comm_first = 0x1400;
constexpr uint16_t tpdo_comm_first = 0x1800;
constexpr uint16_t pdo_comm_count = 0x200;
constexpr uint16_t mapping_offset = 0x200;  // mapping index = communication index + 0x200
constexpr uint8_t cob_id_sub = 1;
constexpr uint32_t cob_not_valid = 0x80000000u;

bool refuse(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool node_number(const QString &text, int *node)
{
    bool ok = false;
    const uint n = text.trimmed().toUInt(&ok, 10);
    if (!ok || n < lowest_node || n > highest_node)
        return false;
    *node = static_cast<int>(n);
    return true;
}

// The communication index of the PDO an object belongs to; 0 for any other object.
uint16_t pdo_comm_index(uint16_t index)
{
    for (const uint16_t first : {rpdo_comm_first, tpdo_comm_first}) {
        if (index >= first && index < first + pdo_comm_count)
            return index;
        if (index >= first + mapping_offset && index < first + mapping_offset + pdo_comm_count)
            return static_cast<uint16_t>(index - mapping_offset);
    }
    return 0;
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    return b;
}

uint32_t le32_of(const QByteArray &b)
{
    uint32_t v = 0;
    for (int i = 0; i < b.size() && i < 4; ++i)
        v |= uint32_t(uint8_t(b[i])) << (8 * i);
    return v;
}

int key(uint16_t index, uint8_t sub) { return index << 8 | sub; }

// One PDO's procedure. rows_at maps an object to its row of this node.
class pdo_plan {
public:
    pdo_plan(uint16_t comm, const std::vector<dcf_row> &rows, const std::map<int, int> &rows_at)
        : comm_(comm), map_(static_cast<uint16_t>(comm + mapping_offset)), rows_(rows), at_(rows_at)
    {
    }

    dcf_group plan() const
    {
        dcf_group g;
        const int cob_row = row_of(comm_, cob_id_sub);
        uint32_t cob = 0;
        const bool cob_known = original_cob(cob_row, &cob);
        if (cob_known)
            g.writes.push_back({comm_, cob_id_sub, le32(cob | cob_not_valid), -1});
        for (const auto &entry : at_)
            if (entry.first >> 8 == comm_ && (entry.first & 0xFF) != cob_id_sub && wants_write(rows_[entry.second]))
                g.writes.push_back(write_of(entry.second));
        if (mapping_differs())
            plan_mapping(g);
        if (cob_row >= 0 && rows_[cob_row].value.bytes.ok)
            g.writes.push_back(step_or_write(cob_row));
        else if (cob_known)
            g.writes.push_back({comm_, cob_id_sub, le32(cob), -1});
        for (const auto &entry : at_)
            if (entry.first >> 8 == comm_ || entry.first >> 8 == map_)
                g.rows.push_back(entry.second);
        return g;
    }

private:
    int row_of(uint16_t index, uint8_t sub) const
    {
        const auto it = at_.find(key(index, sub));
        return it == at_.end() ? -1 : it->second;
    }

    dcf_write write_of(int row) const
    {
        const dcf_value &v = rows_[row].value;
        return {v.index, v.sub, v.bytes.bytes, row};
    }

    // The DCF's value written back as a step of the procedure, or as the row's own write when it
    // differs.
    dcf_write step_or_write(int row) const
    {
        dcf_write w = write_of(row);
        w.row = wants_write(rows_[row]) ? row : -1;
        return w;
    }

    // The COB-ID the drive has now, else the DCF's.
    bool original_cob(int row, uint32_t *cob) const
    {
        if (row < 0)
            return false;
        if (rows_[row].read)
            *cob = le32_of(rows_[row].drive);
        else if (rows_[row].value.bytes.ok)
            *cob = le32_of(rows_[row].value.bytes.bytes);
        else
            return false;
        return true;
    }

    bool mapping_differs() const
    {
        for (const auto &entry : at_)
            if (entry.first >> 8 == map_ && wants_write(rows_[entry.second]))
                return true;
        return false;
    }

    void plan_mapping(dcf_group &g) const
    {
        const int count_row = row_of(map_, 0);
        QByteArray count;
        if (count_row >= 0 && rows_[count_row].value.bytes.ok)
            count = rows_[count_row].value.bytes.bytes;
        else if (count_row >= 0 && rows_[count_row].read)
            count = rows_[count_row].drive;
        // Without a count to put back the mapping stays as it is rather than end up empty.
        if (count.isEmpty())
            return;
        g.writes.push_back({map_, 0, QByteArray(1, '\0'), -1});
        for (const auto &entry : at_)
            if (entry.first >> 8 == map_ && (entry.first & 0xFF) != 0 && wants_write(rows_[entry.second]))
                g.writes.push_back(write_of(entry.second));
        g.writes.push_back({map_, 0, count, wants_write(rows_[count_row]) ? count_row : -1});
    }

    uint16_t comm_;
    uint16_t map_;
    const std::vector<dcf_row> &rows_;
    const std::map<int, int> &at_;
};

}  // namespace

bool parse_node_list(const QString &text, std::vector<int> *nodes, QString *error)
{
    const QString bad = QStringLiteral("节点列表无效/Not a node list (1-127, e.g. 1-6 or 2,4,5): %1");
    if (text.size() > longest_list)
        return refuse(error, bad.arg(text.left(20) + QStringLiteral("...")));
    std::vector<int> out;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        int from = 0, to = 0;
        if (ends.size() > 2 || !node_number(ends.first(), &from) || !node_number(ends.last(), &to) || to < from)
            return refuse(error, bad.arg(part.trimmed()));
        for (int n = from; n <= to; ++n)
            if (std::find(out.begin(), out.end(), n) == out.end())
                out.push_back(n);
    }
    if (nodes)
        *nodes = out;
    return true;
}

std::vector<dcf_value> dcf_values(const eds_document &dcf, int node)
{
    std::vector<dcf_value> values;
    for (const od_object &o : dcf.objects)
        for (const od_entry &e : o.entries) {
            if (e.parameter_value.isEmpty())
                continue;
            dcf_value v;
            v.index = e.index;
            v.sub = e.sub;
            v.name = e.name;
            v.type = e.type;
            v.access = e.access;
            if (resolve_node_id(e.parameter_value, node, &v.text))
                v.bytes = encode_value(e.type, v.text);
            else
                v.text = e.parameter_value;
            values.push_back(v);
        }
    return values;
}

QString state_text(dcf_state state)
{
    switch (state) {
    case dcf_state::same: return QStringLiteral("相同/same");
    case dcf_state::differs: return QStringLiteral("不同/differs");
    case dcf_state::not_readable: return QStringLiteral("不可读/not readable");
    case dcf_state::read_only_differs: return QStringLiteral("只读且不同/read-only and differs");
    case dcf_state::command_differs: return QStringLiteral("命令对象，不写/command, not written");
    case dcf_state::invalid: return QStringLiteral("DCF值无效/DCF value invalid");
    }
    return QString();
}

bool is_command_object(uint16_t index)
{
    // Store, restore, program data and control, and the drive's controlword.
    return index == 0x1010 || index == 0x1011 || index == 0x1F50 || index == 0x1F51 || index == 0x6040;
}

dcf_state compare(const dcf_value &value, const canopen::sdo_outcome &read)
{
    if (!value.bytes.ok)
        return dcf_state::invalid;
    if (!read.ok)
        return dcf_state::not_readable;
    if (read.data == value.bytes.bytes)
        return dcf_state::same;
    if (is_command_object(value.index))
        return dcf_state::command_differs;
    return access_writable(value.access) ? dcf_state::differs : dcf_state::read_only_differs;
}

QString drive_text(const dcf_value &value, const QByteArray &drive)
{
    if (canopen::is_identity_entry(value.index, value.sub) && drive.size() == 4)
        return canopen::identity_text(drive);
    const bool hex = is_unsigned_integer(value.type) && value.text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    return format_value(value.type, drive, hex);
}

bool wants_write(const dcf_row &row)
{
    if (row.state == dcf_state::differs)
        return true;
    // A write-only object cannot be compared: the DCF's value is written as it is.
    return row.state == dcf_state::not_readable && row.value.access == QLatin1String("wo")
           && !is_command_object(row.value.index);
}

std::vector<dcf_group> plan_download(const std::vector<dcf_row> &rows)
{
    std::map<int, int> rows_at;
    for (size_t i = 0; i < rows.size(); ++i)
        rows_at[key(rows[i].value.index, rows[i].value.sub)] = static_cast<int>(i);
    std::map<int, dcf_group> groups;  // by the key of their first object: index order
    std::set<uint16_t> pdos;
    for (const auto &entry : rows_at) {
        const dcf_row &r = rows[entry.second];
        if (!wants_write(r))
            continue;
        const uint16_t comm = pdo_comm_index(r.value.index);
        if (comm != 0) {
            pdos.insert(comm);
            continue;
        }
        dcf_group g;
        g.writes.push_back({r.value.index, r.value.sub, r.value.bytes.bytes, entry.second});
        g.rows.push_back(entry.second);
        groups[entry.first] = g;
    }
    for (const uint16_t comm : pdos)
        groups[key(comm, 0)] = pdo_plan(comm, rows, rows_at).plan();
    std::vector<dcf_group> ordered;
    for (auto &entry : groups)
        ordered.push_back(std::move(entry.second));
    return ordered;
}

}  // namespace objects
