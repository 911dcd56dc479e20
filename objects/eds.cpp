#include "objects/eds.h"

#include "base/hex.h"
#include "base/text_safety.h"
#include "canopen/value_codec.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTextCodec>
#include <algorithm>
#include <map>

namespace objects {

using canopen::data_type;
using canopen::encode_value;
using canopen::encoded;
using canopen::is_signed_integer;
using canopen::is_unsigned_integer;
using canopen::number;
using canopen::parse_number;
using canopen::type_name;

namespace {

struct raw_key {
    QString key;  // lower case, for lookup
    QString written;  // as the file spells it, for the writer
    QString value;
    int line;
};

struct raw_section {
    QString name;  // lower case
    int line;
    std::vector<raw_key> keys;

    const raw_key *find(const char *key) const
    {
        for (const raw_key &k : keys)
            if (k.key == QLatin1String(key))
                return &k;
        return nullptr;
    }
};

struct parse_error {
    int line = 0;
    QString text;
};

bool fail(parse_error *e, int line, const QString &text)
{
    e->line = line;
    e->text = text;
    return false;
}

// Section names are bare hex digits ("1a00", "1a00sub1"): no prefix, suffix or sign.
bool hex_digits(const QString &s, int max, uint32_t *value)
{
    if (s.isEmpty() || s.size() > max)
        return false;
    uint32_t v = 0;
    for (QChar c : s) {
        const int d = hex::digit_value(c);
        if (d < 0)
            return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
}

bool object_section(const QString &name, uint16_t *index)
{
    uint32_t v = 0;
    if (!hex_digits(name, 4, &v))
        return false;
    *index = static_cast<uint16_t>(v);
    return true;
}

bool sub_section(const QString &name, uint16_t *index, uint8_t *sub)
{
    const int at = name.indexOf(QLatin1String("sub"));
    if (at < 1)
        return false;
    const QString idx = name.left(at);
    const QString sb = name.mid(at + 3);
    uint32_t i = 0, n = 0;
    if (!hex_digits(idx, 4, &i) || !hex_digits(sb, 2, &n))
        return false;
    *index = static_cast<uint16_t>(i);
    *sub = static_cast<uint8_t>(n);
    return true;
}

// A key given twice in one section: the same value again is harmless and only noted (the first
// stays); two different values leave no way to tell which one the file means, so it is refused.
bool repeated_key(const raw_section &s, const raw_key &first, const raw_key &k, parse_error *e, QStringList *warnings)
{
    const QString where =
        QStringLiteral("[%1] %2: 第%3行与第%4行/lines %3 and %4").arg(s.name, k.written).arg(first.line).arg(k.line);
    if (first.value == k.value) {
        if (warnings->size() < eds_max_warnings)
            warnings->append(QStringLiteral("键重复/key repeated, %1").arg(where));
        return true;
    }
    return fail(e, k.line, QStringLiteral("键重复且值不同/key repeated with another value, %1").arg(where));
}

// Splits the text into sections of keys, refusing what no EDS contains.
bool read_sections(const QByteArray &text, std::vector<raw_section> *sections, parse_error *e, QStringList *warnings)
{
    // Many vendor tools still write Latin-1 ("µs", "°C"); a file that is not valid UTF-8 is
    // read as Latin-1 throughout rather than with replacement characters.
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(text.constData(), text.size(), &state);
    const bool latin1 = state.invalidChars > 0;
    QHash<QString, int> seen;
    QHash<QString, int> section_keys;  // of the section being read, to its position
    int key_count = 0;
    int line_no = 0;
    int start = 0;
    while (start < text.size()) {
        int end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        ++line_no;
        if (end - start > eds_max_line)
            return fail(e, line_no, QStringLiteral("行过长/line longer than %1 characters").arg(eds_max_line));
        const QString line = (latin1 ? QString::fromLatin1(text.constData() + start, end - start)
                                     : QString::fromUtf8(text.constData() + start, end - start))
                                 .trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return fail(e, line_no, QStringLiteral("节名无效/malformed section name"));
            const QString name = line.mid(1, line.size() - 2).trimmed().toLower();
            if (seen.contains(name))
                return fail(e, line_no, QStringLiteral("节重复/section [%1] repeated (first at line %2)").arg(name).arg(seen.value(name)));
            if (static_cast<int>(sections->size()) >= eds_max_sections)
                return fail(e, line_no, QStringLiteral("节过多/more than %1 sections").arg(eds_max_sections));
            seen.insert(name, line_no);
            section_keys.clear();
            sections->push_back(raw_section{name, line_no, {}});
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(e, line_no, QStringLiteral("应为 键=值/expected key=value"));
        if (sections->empty())
            return fail(e, line_no, QStringLiteral("键不在任何节中/key outside a section"));
        if (++key_count > eds_max_keys)
            return fail(e, line_no, QStringLiteral("键过多/more than %1 keys").arg(eds_max_keys));
        const QString key = line.left(eq).trimmed();
        raw_key k{key.toLower(), key, line.mid(eq + 1).trimmed(), line_no};
        raw_section &section = sections->back();
        const auto first = section_keys.constFind(k.key);
        if (first != section_keys.constEnd()) {
            if (!repeated_key(section, section.keys[static_cast<size_t>(*first)], k, e, warnings))
                return false;
            continue;
        }
        section_keys.insert(k.key, static_cast<int>(section.keys.size()));
        section.keys.push_back(k);
    }
    return true;
}

bool number_key(const raw_key &k, uint64_t max, uint64_t *value, parse_error *e)
{
    number n;
    if (!parse_number(k.value, &n, true) || n.negative || n.magnitude > max)
        return fail(e, k.line, QStringLiteral("%1 数值无效/%1 is not a number up to %2").arg(k.key).arg(max));
    *value = n.magnitude;
    return true;
}

// A $NODEID formula must give a value of the entry's type for the node it is meant for: the
// file's own node-ID, or node 1 (the least any node adds) in a file for every node.
bool check_formula(const raw_key &k, uint16_t type, int node, parse_error *e)
{
    if (!is_signed_integer(type) && !is_unsigned_integer(type))
        return true;
    QString resolved;
    const formula f = resolve_formula(k.value, node, &resolved);
    if (f == formula::resolved && !encode_value(type, resolved).ok)
        return fail(e, k.line, QStringLiteral("$NODEID超出%1范围/%2=%3 gives %4 for node %5, beyond %1")
                                   .arg(type_name(type), k.written, k.value, resolved).arg(node));
    if (f == formula::overflow)
        return fail(e, k.line, QStringLiteral("$NODEID超出%1范围/%2=%3 overflows for node %4")
                                   .arg(type_name(type), k.written, k.value).arg(node));
    return true;
}

const char *const access_types[] = {"ro", "wo", "rw", "rwr", "rww", "const"};

// The keys every described value carries. inherit (an ARRAY's own keys) fills what a compact
// sub-object does not say itself.
bool fill_entry(const raw_section &s, int node, od_entry *entry, parse_error *e)
{
    entry->line = s.line;
    if (const raw_key *k = s.find("parametername"))
        entry->name = k->value;
    else
        return fail(e, s.line, QStringLiteral("缺少ParameterName/ParameterName missing in [%1]").arg(s.name));
    uint64_t v = 0;
    if (const raw_key *k = s.find("datatype")) {
        if (!number_key(*k, 0xFFFF, &v, e))
            return false;
        entry->type = static_cast<uint16_t>(v);
    } else if (entry->type == 0) {
        return fail(e, s.line, QStringLiteral("缺少DataType/DataType missing in [%1]").arg(s.name));
    }
    if (const raw_key *k = s.find("accesstype")) {
        entry->access = k->value.toLower();
        bool known = false;
        for (const char *a : access_types)
            known = known || entry->access == QLatin1String(a);
        if (!known)
            return fail(e, k->line, QStringLiteral("AccessType无效/unknown AccessType %1").arg(k->value));
    } else if (entry->access.isEmpty()) {
        return fail(e, s.line, QStringLiteral("缺少AccessType/AccessType missing in [%1]").arg(s.name));
    }
    if (const raw_key *k = s.find("pdomapping")) {
        if (!number_key(*k, 1, &v, e))
            return false;
        entry->pdo_mapping = v == 1;
    }
    const std::pair<const char *, QString *> values[] = {{"defaultvalue", &entry->default_value},
                                                          {"lowlimit", &entry->low_limit},
                                                          {"highlimit", &entry->high_limit},
                                                          {"parametervalue", &entry->parameter_value}};
    for (const auto &v : values)
        if (const raw_key *k = s.find(v.first)) {
            if (!check_formula(*k, entry->type, node, e))
                return false;
            *v.second = k->value;
        }
    return true;
}

// An ARRAY written as CompactSubObj=N: sub 0 holds N, subs 1..N share the object's type.
bool expand_compact(const raw_section &s, const raw_key &compact, const QHash<QString, int> &by_name,
                    const std::vector<raw_section> &sections, int node, od_object *object, parse_error *e)
{
    uint64_t count = 0;
    if (!number_key(compact, 254, &count, e))
        return false;
    od_entry base;
    if (!fill_entry(s, node, &base, e))
        return false;
    od_entry zero;
    zero.index = object->index;
    zero.name = QStringLiteral("Number of entries");
    zero.type = static_cast<uint16_t>(data_type::unsigned8);
    zero.access = QStringLiteral("ro");
    zero.default_value = QString::number(count);
    zero.line = s.line;
    object->entries.push_back(zero);
    const auto names = by_name.find(s.name + QStringLiteral("name"));
    for (uint64_t i = 1; i <= count; ++i) {
        od_entry entry = base;
        entry.index = object->index;
        entry.sub = static_cast<uint8_t>(i);
        entry.name = QStringLiteral("%1%2").arg(base.name).arg(i);
        if (names != by_name.end())
            if (const raw_key *k = sections[static_cast<size_t>(*names)].find(QByteArray::number(static_cast<qulonglong>(i)).constData()))
                entry.name = k->value;
        object->entries.push_back(entry);
    }
    return true;
}

bool read_object(const raw_section &s, const QHash<QString, int> &by_name, const std::vector<raw_section> &sections,
                 int node, od_object *object, parse_error *e)
{
    object->line = s.line;
    if (const raw_key *k = s.find("parametername"))
        object->name = k->value;
    else
        return fail(e, s.line, QStringLiteral("缺少ParameterName/ParameterName missing in [%1]").arg(s.name));
    uint64_t v = object_var;
    if (const raw_key *k = s.find("objecttype")) {
        if (!number_key(*k, 0xFF, &v, e))
            return false;
    }
    object->object_type = static_cast<uint8_t>(v);
    if (object->object_type == object_array || object->object_type == object_record) {
        if (const raw_key *k = s.find("compactsubobj"); k && k->value != QLatin1String("0"))
            return expand_compact(s, *k, by_name, sections, node, object, e);
        return true;
    }
    od_entry entry;
    entry.index = object->index;
    if (object->object_type == object_domain) {
        entry.type = static_cast<uint16_t>(data_type::domain);
        entry.access = QStringLiteral("rw");
    }
    if (!fill_entry(s, node, &entry, e))
        return false;
    object->entries.push_back(entry);
    return true;
}

bool read_node_id(const raw_section &s, int *node_id, parse_error *e)
{
    const raw_key *k = s.find("nodeid");
    if (!k)
        return true;
    uint64_t v = 0;
    if (!number_key(*k, 127, &v, e))
        return false;
    *node_id = static_cast<int>(v);
    return true;
}

key_values keys_as_written(const raw_section &s)
{
    key_values out;
    for (const raw_key &k : s.keys)
        out.emplace_back(k.written, k.value);
    return out;
}

std::vector<int> lines_of(const raw_section &s)
{
    std::vector<int> out;
    for (const raw_key &k : s.keys)
        out.push_back(k.line);
    return out;
}

bool build(const std::vector<raw_section> &sections, eds_document *doc, parse_error *e)
{
    QHash<QString, int> by_name;
    for (size_t i = 0; i < sections.size(); ++i)
        by_name.insert(sections[i].name, static_cast<int>(i));
    // The node-ID comes first: the formulas of the objects are checked for it.
    const auto commissioning = by_name.find(QStringLiteral("devicecomissioning"));
    if (commissioning != by_name.end() && !read_node_id(sections[static_cast<size_t>(*commissioning)], &doc->node_id, e))
        return false;
    const int node = doc->node_id >= 1 ? doc->node_id : 1;
    std::map<uint16_t, od_object> objects;
    size_t entry_count = 0;
    for (const raw_section &s : sections) {
        uint16_t index = 0;
        if (s.name == QLatin1String("fileinfo"))
            doc->file_info = keys_as_written(s);
        else if (s.name == QLatin1String("deviceinfo")) {
            doc->device_info = keys_as_written(s);
            doc->device_info_lines = lines_of(s);
        } else if (s.name == QLatin1String("devicecomissioning")) {
            doc->commissioning = keys_as_written(s);
            doc->commissioning_lines = lines_of(s);
        }
        if (!object_section(s.name, &index))
            continue;
        od_object object;
        object.index = index;
        if (!read_object(s, by_name, sections, node, &object, e))
            return false;
        // Compact arrays multiply a few lines into many entries; the total stays bounded.
        entry_count += object.entries.size();
        if (entry_count > static_cast<size_t>(eds_max_entries))
            return fail(e, s.line, QStringLiteral("对象过多/more than %1 entries").arg(eds_max_entries));
        objects[index] = object;
    }
    for (const raw_section &s : sections) {
        uint16_t index = 0;
        uint8_t sub = 0;
        if (!sub_section(s.name, &index, &sub))
            continue;
        const auto parent = objects.find(index);
        if (parent == objects.end())
            return fail(e, s.line, QStringLiteral("子对象没有父对象/[%1] has no object [%2]").arg(s.name).arg(index, 4, 16, QLatin1Char('0')));
        od_entry entry;
        entry.index = index;
        entry.sub = sub;
        if (!fill_entry(s, node, &entry, e))
            return false;
        auto &entries = parent->second.entries;
        auto at = std::lower_bound(entries.begin(), entries.end(), sub, [](const od_entry &x, uint8_t s2) { return x.sub < s2; });
        if (at != entries.end() && at->sub == sub)
            *at = entry;  // a sub-object section overrides what a compact description implied
        else
            entries.insert(at, entry);
    }
    for (auto &o : objects)
        doc->objects.push_back(std::move(o.second));
    return true;
}

QString one_line(const QString &value) { return text_safety::ini_value(value); }

QString hex4(uint32_t v) { return hex::digits(v, 4); }

// A value that the entry's $NODEID default gives for node_id is written as that formula, so that
// the file configures any node the same way (a PDO's COB-ID follows the node it is put on).
QString portable_value(const od_entry &e, int node_id)
{
    QString resolved;
    if (node_id < 1 || node_id > 127 || !e.default_value.contains(QLatin1Char('$'))
        || !resolve_node_id(e.default_value, node_id, &resolved))
        return e.parameter_value;
    const encoded expected = encode_value(e.type, resolved);
    const encoded value = encode_value(e.type, e.parameter_value);
    return expected.ok && value.ok && expected.bytes == value.bytes ? e.default_value : e.parameter_value;
}

void write_entry_keys(QStringList &out, const od_entry &e, int node_id)
{
    out << QStringLiteral("ParameterName=") + one_line(e.name) << QStringLiteral("ObjectType=0x7")
        << QStringLiteral("DataType=0x") + hex4(e.type) << QStringLiteral("AccessType=") + e.access;
    if (!e.default_value.isEmpty())
        out << QStringLiteral("DefaultValue=") + one_line(e.default_value);
    if (!e.low_limit.isEmpty())
        out << QStringLiteral("LowLimit=") + one_line(e.low_limit);
    if (!e.high_limit.isEmpty())
        out << QStringLiteral("HighLimit=") + one_line(e.high_limit);
    out << QStringLiteral("PDOMapping=%1").arg(e.pdo_mapping ? 1 : 0);
    if (!e.parameter_value.isEmpty())
        out << QStringLiteral("ParameterValue=") + one_line(portable_value(e, node_id));
}

void write_object(QStringList &out, const od_object &o, int node_id)
{
    out << QString() << QStringLiteral("[%1]").arg(hex4(o.index));
    const bool structured = o.object_type == object_array || o.object_type == object_record;
    if (!structured && o.entries.size() == 1) {
        od_entry e = o.entries.front();
        e.name = o.name;
        write_entry_keys(out, e, node_id);
        return;
    }
    // A plain variable that a file gave sub-objects anyway is written as the record it became.
    const uint8_t type = structured ? o.object_type : object_record;
    out << QStringLiteral("ParameterName=") + one_line(o.name) << QStringLiteral("ObjectType=") + hex::prefixed(type)
        << QStringLiteral("SubNumber=%1").arg(o.entries.size());
    for (const od_entry &e : o.entries) {
        out << QString() << QStringLiteral("[%1sub%2]").arg(hex4(o.index), hex::digits(e.sub));
        write_entry_keys(out, e, node_id);
    }
}

void write_list(QStringList &out, const char *section, const std::vector<uint16_t> &indexes)
{
    out << QString() << QStringLiteral("[%1]").arg(QLatin1String(section)) << QStringLiteral("SupportedObjects=%1").arg(indexes.size());
    for (size_t i = 0; i < indexes.size(); ++i)
        out << QStringLiteral("%1=0x%2").arg(i + 1).arg(hex4(indexes[i]));
}

constexpr uint16_t device_name_index = 0x1008;

// Keys without a value are left out.
void write_keys(QStringList &out, const key_values &keys)
{
    for (const auto &kv : keys)
        if (!kv.second.isEmpty())
            out << kv.first + QLatin1Char('=') + one_line(kv.second);
}

// The values read stand over what the data sheet says of the device.
void write_device(QStringList &out, const eds_document &document, const dcf_device &d)
{
    const key_values read = {{QStringLiteral("VendorNumber"), d.vendor_number},
                             {QStringLiteral("ProductNumber"), d.product_number},
                             {QStringLiteral("RevisionNumber"), d.revision_number},
                             {QStringLiteral("ProductName"), d.product_name}};
    key_values info;
    for (const auto &kv : document.device_info) {
        const bool replaced = std::any_of(read.begin(), read.end(), [&kv](const std::pair<QString, QString> &r) {
            return !r.second.isEmpty() && r.first.compare(kv.first, Qt::CaseInsensitive) == 0;
        });
        if (!replaced)
            info.push_back(kv);
    }
    out << QString() << QStringLiteral("[DeviceInfo]");
    for (const auto &kv : info)
        out << kv.first + QLatin1Char('=') + one_line(kv.second);
    write_keys(out, read);
    out << QString() << QStringLiteral("[DeviceComissioning]") << QStringLiteral("NodeID=%1").arg(d.node_id);
    write_keys(out, {{QStringLiteral("NodeName"), d.node_name},
                     {QStringLiteral("Baudrate"), d.baudrate_kbps > 0 ? QString::number(d.baudrate_kbps) : QString()},
                     {QStringLiteral("LSS_SerialNumber"), d.serial_number}});
}

}  // namespace

eds_result parse_eds(const QByteArray &text)
{
    eds_result r;
    if (text.size() > eds_max_bytes) {
        r.error = QStringLiteral("文件过大/file larger than %1 bytes").arg(eds_max_bytes);
        return r;
    }
    std::vector<raw_section> sections;
    parse_error e;
    if (!read_sections(text, &sections, &e, &r.warnings) || !build(sections, &r.document, &e)) {
        r.error_line = e.line;
        r.error = e.text;
        r.document = eds_document{};
        r.warnings.clear();
        return r;
    }
    r.ok = true;
    return r;
}

eds_result read_eds_file(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        eds_result r;
        r.error = QStringLiteral("无法打开文件/Cannot open %1").arg(path);
        return r;
    }
    // One byte over the limit is enough to tell an oversized file.
    eds_result r = parse_eds(f.read(eds_max_bytes + 1));
    if (!r.ok)
        r.error = QStringLiteral("%1: 第%2行/line %2: %3").arg(QFileInfo(path).fileName()).arg(r.error_line).arg(r.error);
    return r;
}

QByteArray write_dcf(const eds_document &document, int node_id, const QString &file_name)
{
    dcf_device device;
    device.node_id = node_id;
    return write_dcf(document, device, file_name);
}

dcf_device device_of_values(const eds_document &document, int node_id)
{
    dcf_device d;
    d.node_id = node_id;
    const auto identity = [&document](uint8_t sub) {
        const od_entry *e = find_entry(document, canopen::identity_index, sub);
        const encoded v = e ? encode_value(static_cast<uint16_t>(data_type::unsigned32), e->parameter_value) : encoded();
        return v.ok && v.bytes.size() == 4 ? canopen::identity_text(v.bytes) : QString();
    };
    d.vendor_number = identity(canopen::identity_vendor);
    d.product_number = identity(canopen::identity_product);
    d.revision_number = identity(canopen::identity_revision);
    d.serial_number = identity(canopen::identity_serial);
    if (const od_entry *name = find_entry(document, device_name_index, 0))
        d.product_name = name->parameter_value;
    return d;
}

QByteArray write_dcf(const eds_document &document, const dcf_device &device, const QString &file_name)
{
    const int node_id = device.node_id;
    QStringList out;
    out << QStringLiteral("[FileInfo]") << QStringLiteral("FileName=") + one_line(file_name);
    for (const auto &kv : document.file_info)
        if (kv.first.compare(QLatin1String("FileName"), Qt::CaseInsensitive) != 0)
            out << kv.first + QLatin1Char('=') + one_line(kv.second);
    write_device(out, document, device);

    std::vector<uint16_t> mandatory, optional, manufacturer;
    for (const od_object &o : document.objects) {
        if (o.index == 0x1000 || o.index == 0x1001 || o.index == 0x1018)
            mandatory.push_back(o.index);
        else if (o.index >= 0x2000 && o.index <= 0x5FFF)
            manufacturer.push_back(o.index);
        else
            optional.push_back(o.index);
    }
    write_list(out, "MandatoryObjects", mandatory);
    write_list(out, "OptionalObjects", optional);
    write_list(out, "ManufacturerObjects", manufacturer);
    for (const od_object &o : document.objects)
        write_object(out, o, node_id);
    out << QString();
    return out.join(QLatin1Char('\n')).toUtf8();
}

formula resolve_formula(const QString &value, int node_id, QString *resolved)
{
    QString v = value.trimmed();
    const QLatin1String marker("$nodeid");
    const int at = v.toLower().indexOf(marker);
    if (at < 0) {
        *resolved = v;
        return formula::plain;
    }
    v.remove(at, marker.size());
    v = v.trimmed();
    // What is left is "+X", "X+" or nothing.
    if (v.startsWith(QLatin1Char('+')))
        v = v.mid(1);
    else if (v.endsWith(QLatin1Char('+')))
        v.chop(1);
    else if (!v.isEmpty())
        return formula::malformed;
    number n;
    if (v.trimmed().isEmpty())
        n.magnitude = 0;
    else if (!parse_number(v, &n, true) || n.negative || node_id < 0)
        return formula::malformed;
    if (n.magnitude > UINT64_MAX - static_cast<uint64_t>(node_id))
        return formula::overflow;
    const uint64_t sum = n.magnitude + static_cast<uint64_t>(node_id);
    *resolved = v.trimmed().startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                    ? hex::prefixed(sum)
                    : QString::number(sum);
    return formula::resolved;
}

bool resolve_node_id(const QString &value, int node_id, QString *resolved)
{
    const formula f = resolve_formula(value, node_id, resolved);
    return f == formula::plain || f == formula::resolved;
}

bool access_readable(const QString &access) { return access != QLatin1String("wo"); }

bool access_writable(const QString &access)
{
    return access == QLatin1String("wo") || access == QLatin1String("rw") || access == QLatin1String("rwr")
           || access == QLatin1String("rww");
}

od_entry *find_entry(eds_document &document, uint16_t index, uint8_t sub)
{
    return const_cast<od_entry *>(find_entry(static_cast<const eds_document &>(document), index, sub));
}

const od_entry *find_entry(const eds_document &document, uint16_t index, uint8_t sub)
{
    for (const od_object &o : document.objects) {
        if (o.index != index)
            continue;
        for (const od_entry &e : o.entries)
            if (e.sub == sub)
                return &e;
    }
    return nullptr;
}

}  // namespace objects
