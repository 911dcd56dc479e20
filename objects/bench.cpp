#include "objects/bench.h"

#include "base/hex.h"
#include "base/text_safety.h"
#include "canopen/cia_objects.h"
#include "canopen/value_codec.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTextCodec>
#include <map>

namespace objects {

using canopen::number;
using canopen::parse_number;

namespace {

struct fault {
    int line = 0;
    QString text;
};

bool fail(fault *f, int line, const QString &text)
{
    f->line = line;
    f->text = text;
    return false;
}

bool number_up_to(const QString &text, uint64_t max, uint64_t *value)
{
    number n;
    if (!parse_number(text.trimmed(), &n, false) || n.negative || n.magnitude > max)
        return false;
    *value = n.magnitude;
    return true;
}

// A DCF's name as the node list gives it: a file beside the list, never a path out of its folder.
bool plain_file_name(const QString &name)
{
    return !name.isEmpty() && name.size() <= 255 && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
           && !name.contains(QChar(0));
}

struct node_keys {
    cpj_node node;
    bool has_present = false;
    int first_line = 0;  // of any of its keys
};

bool topology_key(const QString &key, const QString &value, int line, cpj_network *net, int *nodes_count,
                  int *nodes_line, std::map<int, node_keys> *nodes, fault *f)
{
    static const QRegularExpression node_key(QStringLiteral("^node([0-9]{1,3})(present|name|dcfname|refd)$"));
    const QString k = key.toLower();
    if (k == QLatin1String("netname") && value != text_safety::ini_value(value))
        return fail(f, line, QStringLiteral("%1 含控制字符/holds a control character").arg(key));
    if (k == QLatin1String("netname")) {
        net->net_name = value;
        return true;
    }
    if (k == QLatin1String("edsbasename")) {
        net->eds_base_name = value;
        return true;
    }
    if (k == QLatin1String("nodes")) {
        uint64_t n = 0;
        if (!number_up_to(value, 127, &n))
            return fail(f, line, QStringLiteral("Nodes 应为0到127/Nodes must be 0 to 127"));
        *nodes_count = static_cast<int>(n);
        *nodes_line = line;
        return true;
    }
    // What the writer could not give back as it is (control characters, line separators) has no
    // place in a name: a file would not read back the same, and a DCF's name is opened as a file.
    if (value != text_safety::ini_value(value))
        return fail(f, line, QStringLiteral("%1 含控制字符/holds a control character").arg(key));
    const QRegularExpressionMatch m = node_key.match(k);
    if (!m.hasMatch())
        return true;  // NetRefd and keys of later editions
    const int id = m.captured(1).toInt();
    if (id < 1 || id > 127)
        return fail(f, line, QStringLiteral("节点号应为1到127/node-ID must be 1 to 127: %1").arg(key));
    node_keys &n = (*nodes)[id];
    n.node.node = id;
    if (n.first_line == 0)
        n.first_line = line;
    const QString what = m.captured(2);
    uint64_t v = 0;
    if (what == QLatin1String("present")) {
        if (!number_up_to(value, 1, &v))
            return fail(f, line, QStringLiteral("%1 应为0x00或0x01/must be 0x00 or 0x01").arg(key));
        n.node.present = v == 1;
        n.has_present = true;
        n.node.line = line;
    } else if (what == QLatin1String("name")) {
        if (value.size() > node_name_max)
            return fail(f, line, QStringLiteral("名称过长/name longer than %1 characters").arg(node_name_max));
        n.node.name = value;
    } else if (what == QLatin1String("dcfname")) {
        if (!plain_file_name(value))
            return fail(f, line, QStringLiteral("%1 应为列表旁的文件名/must name a file beside the node list").arg(key));
        n.node.dcf_name = value;
    } else {
        if (!number_up_to(value, 1, &v))
            return fail(f, line, QStringLiteral("%1 应为0或1/must be 0 or 1").arg(key));
        n.node.referenced = v == 1;
    }
    return true;
}

bool parse_lines(const QByteArray &text, cpj_network *net, fault *f)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(text.constData(), text.size(), &state);
    const bool latin1 = state.invalidChars > 0;
    QString section;
    bool topology_seen = false;
    QSet<QString> sections;
    QHash<QString, int> keys_seen;  // of [Topology], to their line
    std::map<int, node_keys> nodes;
    int nodes_count = -1;
    int nodes_line = 0;
    int line_no = 0;
    int start = 0;
    while (start < text.size()) {
        int end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        ++line_no;
        if (end - start > cpj_max_line)
            return fail(f, line_no, QStringLiteral("行过长/line longer than %1 characters").arg(cpj_max_line));
        const QString line = (latin1 ? QString::fromLatin1(text.constData() + start, end - start)
                                     : QString::fromUtf8(text.constData() + start, end - start))
                                 .trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return fail(f, line_no, QStringLiteral("节名无效/malformed section name"));
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            if (sections.contains(section))
                return fail(f, line_no, QStringLiteral("节重复/section [%1] repeated").arg(section));
            sections.insert(section);
            topology_seen = topology_seen || section == QLatin1String("topology");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(f, line_no, QStringLiteral("应为 键=值/expected key=value"));
        if (section.isEmpty())
            return fail(f, line_no, QStringLiteral("键不在任何节中/key outside a section"));
        if (section != QLatin1String("topology"))
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        const auto first = keys_seen.constFind(key.toLower());
        if (first != keys_seen.constEnd())
            return fail(f, line_no, QStringLiteral("键重复/key %1 repeated (first at line %2)").arg(key).arg(*first));
        keys_seen.insert(key.toLower(), line_no);
        if (!topology_key(key, value, line_no, net, &nodes_count, &nodes_line, &nodes, f))
            return false;
    }
    if (!topology_seen)
        return fail(f, 0, QStringLiteral("没有[Topology]节/no [Topology] section"));
    int present = 0;
    QHash<QString, int> names;
    for (const auto &entry : nodes) {
        const node_keys &n = entry.second;
        if (!n.has_present)
            return fail(f, n.first_line, QStringLiteral("节点%1缺少/node %1 lacks Node%1Present").arg(entry.first));
        if (n.node.present) {
            ++present;
            if (n.node.dcf_name.isEmpty())
                return fail(f, n.node.line, QStringLiteral("节点%1缺少/node %1 lacks Node%1DCFName").arg(entry.first));
            if (!n.node.name.isEmpty()) {
                if (names.contains(n.node.name.toLower()))
                    return fail(f, n.node.line, QStringLiteral("名称%1重复/name %1 given twice (node %2)")
                                                    .arg(n.node.name)
                                                    .arg(names.value(n.node.name.toLower())));
                names.insert(n.node.name.toLower(), entry.first);
            }
        }
        net->nodes.push_back(n.node);
    }
    if (nodes_count < 0)
        return fail(f, 0, QStringLiteral("[Topology] 缺少/lacks Nodes"));
    if (nodes_count != present)
        return fail(f, nodes_line, QStringLiteral("Nodes=%1 但列出%2个节点/but %2 nodes are present").arg(nodes_count).arg(present));
    return true;
}

// A 32-bit number of a [DeviceInfo] or [DeviceComissioning] key, or nothing; false when the key
// is there and no such number.
bool identity_key(const key_values &keys, const std::vector<int> &lines, const char *name, bool *known,
                  uint32_t *value, fault *f)
{
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].first.compare(QLatin1String(name), Qt::CaseInsensitive) != 0)
            continue;
        const int line = i < lines.size() ? lines[i] : 0;
        if (keys[i].second.trimmed().isEmpty())
            return true;
        uint64_t v = 0;
        if (!number_up_to(keys[i].second, 0xFFFFFFFFu, &v))
            return fail(f, line, QStringLiteral("%1 不是32位数/is not a 32-bit number").arg(keys[i].first));
        *known = true;
        *value = static_cast<uint32_t>(v);
        return true;
    }
    return true;
}

QString key_text(const key_values &keys, const char *name)
{
    for (const auto &kv : keys)
        if (kv.first.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return kv.second.trimmed();
    return QString();
}

// The entry's ParameterValue as an unsigned number with the node-ID put in.
bool entry_number(const eds_document &dcf, uint16_t index, uint8_t sub, int node, uint64_t max, bool *known,
                  uint64_t *value, fault *f)
{
    const od_entry *e = find_entry(dcf, index, sub);
    if (!e || e->parameter_value.trimmed().isEmpty())
        return true;
    QString resolved;
    uint64_t v = 0;
    if (!resolve_node_id(e->parameter_value, node, &resolved) || !number_up_to(resolved, max, &v))
        return fail(f, e->line, QStringLiteral("[%1sub%2] ParameterValue 无效/is not a value up to %3")
                                    .arg(hex::digits(index, 4), hex::digits(sub))
                                    .arg(max));
    *known = true;
    *value = v;
    return true;
}

// A refused bench holds no nodes: nothing of it is half there.
bench_result refused(bench_result &r)
{
    r.bench = bench_file{};
    return r;
}

}  // namespace

cpj_result parse_cpj(const QByteArray &text)
{
    cpj_result r;
    if (text.size() > cpj_max_bytes) {
        r.error = QStringLiteral("文件过大/file larger than %1 bytes").arg(cpj_max_bytes);
        return r;
    }
    fault f;
    if (!parse_lines(text, &r.network, &f)) {
        r.error_line = f.line;
        r.error = f.text;
        r.network = cpj_network{};
        return r;
    }
    r.ok = true;
    return r;
}

QByteArray write_cpj(const cpj_network &network)
{
    QStringList out;
    int present = 0;
    for (const cpj_node &n : network.nodes)
        present += n.present ? 1 : 0;
    out << QStringLiteral("[Topology]");
    if (!network.net_name.isEmpty())
        out << QStringLiteral("NetName=") + text_safety::ini_value(network.net_name);
    out << QStringLiteral("Nodes=%1").arg(present);
    for (const cpj_node &n : network.nodes) {
        out << QStringLiteral("Node%1Present=0x%2").arg(n.node).arg(n.present ? QStringLiteral("01") : QStringLiteral("00"));
        if (!n.name.isEmpty())
            out << QStringLiteral("Node%1Name=%2").arg(n.node).arg(text_safety::ini_value(n.name.left(node_name_max)));
        if (!n.dcf_name.isEmpty())
            out << QStringLiteral("Node%1DCFName=%2").arg(n.node).arg(text_safety::ini_value(n.dcf_name));
        if (n.referenced)
            out << QStringLiteral("Node%1Refd=1").arg(n.node);
    }
    out << QString();
    return out.join(QLatin1Char('\n')).toUtf8();
}

QString identity_parts_text(const canopen::lss_identity &id, const bool known[4])
{
    static const char *const parts[4] = {"厂商/vendor", "产品/product", "版本/revision", "序列号/serial"};
    QStringList out;
    for (int i = 0; i < 4; ++i)
        if (known[i])
            out << QStringLiteral("%1 %2").arg(QString::fromUtf8(parts[i]), canopen::identity_text(id.part[i]));
    return out.join(QStringLiteral(", "));
}

bool bench_node_of(const eds_document &dcf, bench_node *node, int *error_line, QString *error)
{
    fault f;
    const auto refuse = [&] {
        *error_line = f.line;
        *error = f.text;
        return false;
    };
    const int id = node->node;
    expected_identity &x = node->expected;
    static const char *const info_keys[3] = {"VendorNumber", "ProductNumber", "RevisionNumber"};
    for (int part = 0; part < 3; ++part)
        if (!identity_key(dcf.device_info, dcf.device_info_lines, info_keys[part], &x.known[part], &x.id.part[part], &f))
            return refuse();
    if (!identity_key(dcf.commissioning, dcf.commissioning_lines, "LSS_SerialNumber", &x.known[3], &x.id.part[3], &f))
        return refuse();
    // Where the device keys say nothing, the identity object's values do.
    for (int part = 0; part < 4; ++part) {
        if (x.known[part])
            continue;
        uint64_t v = 0;
        if (!entry_number(dcf, canopen::identity_index, static_cast<uint8_t>(part + 1), id, 0xFFFFFFFFu, &x.known[part], &v, &f))
            return refuse();
        x.id.part[part] = static_cast<uint32_t>(v);
    }
    bool known = false;
    uint64_t v = 0;
    if (!entry_number(dcf, 0x1017, 0, id, 0xFFFF, &known, &v, &f))
        return refuse();
    node->heartbeat_ms = known ? static_cast<int>(v) : 0;
    known = false;
    v = 0;
    if (!entry_number(dcf, 0x1010, 1, id, 0xFFFFFFFFu, &known, &v, &f))
        return refuse();
    node->store = known && v == store_signature;
    if (node->name.isEmpty())
        node->name = key_text(dcf.commissioning, "NodeName").left(node_name_max);
    if (node->name.isEmpty())
        node->name = unnamed_node(id);
    node->dcf = dcf;
    return true;
}

bench_result read_bench_texts(const QByteArray &cpj, const QString &cpj_name,
                              const std::function<bool(const QString &, QByteArray *)> &dcf_text)
{
    bench_result r;
    const cpj_result list = parse_cpj(cpj);
    if (!list.ok) {
        r.error = QStringLiteral("%1: 第%2行/line %2: %3").arg(cpj_name).arg(list.error_line).arg(list.error);
        return r;
    }
    r.bench.net_name = list.network.net_name;
    QSet<QString> names;
    for (const cpj_node &n : list.network.nodes) {
        if (!n.present)
            continue;
        QByteArray text;
        if (!dcf_text(n.dcf_name, &text)) {
            r.error = QStringLiteral("%1: 第%2行/line %2: 无法打开/cannot open %3").arg(cpj_name).arg(n.line).arg(n.dcf_name);
            return refused(r);
        }
        const eds_result dcf = parse_eds(text);
        if (!dcf.ok) {
            r.error = QStringLiteral("%1: 第%2行/line %2: %3").arg(n.dcf_name).arg(dcf.error_line).arg(dcf.error);
            return refused(r);
        }
        if (dcf.document.node_id != 0 && dcf.document.node_id != n.node) {
            r.error = QStringLiteral("%1: 第%2行/line %2: %3 的NodeID为%4，不是节点%5/gives NodeID %4, not node %5")
                          .arg(cpj_name)
                          .arg(n.line)
                          .arg(n.dcf_name)
                          .arg(dcf.document.node_id)
                          .arg(n.node);
            return refused(r);
        }
        bench_node b;
        b.node = n.node;
        b.name = n.name;
        b.dcf_name = n.dcf_name;
        int line = 0;
        QString why;
        if (!bench_node_of(dcf.document, &b, &line, &why)) {
            r.error = QStringLiteral("%1: 第%2行/line %2: %3").arg(n.dcf_name).arg(line).arg(why);
            return refused(r);
        }
        // A name taken from a DCF may meet one of the list's.
        if (names.contains(b.name.toLower())) {
            r.error = QStringLiteral("%1: 第%2行/line %2: 名称%3重复/name %3 given twice").arg(cpj_name).arg(n.line).arg(b.name);
            return refused(r);
        }
        names.insert(b.name.toLower());
        r.bench.nodes.push_back(std::move(b));
    }
    r.ok = true;
    return r;
}

bench_result read_bench(const QString &cpj_path)
{
    const QFileInfo info(cpj_path);
    QFile f(cpj_path);
    if (!f.open(QIODevice::ReadOnly)) {
        bench_result r;
        r.error = QStringLiteral("无法打开文件/Cannot open %1").arg(cpj_path);
        return r;
    }
    const QByteArray cpj = f.read(cpj_max_bytes + 1);
    bench_result r = read_bench_texts(cpj, info.fileName(), [&info](const QString &name, QByteArray *text) {
        QFile dcf(info.dir().filePath(name));
        if (!dcf.open(QIODevice::ReadOnly))
            return false;
        *text = dcf.read(eds_max_bytes + 1);
        return true;
    });
    r.bench.path = cpj_path;
    return r;
}

QString dcf_file_name(const QString &node_name, int node)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return (safe.match(node_name).hasMatch() ? node_name : QStringLiteral("node%1").arg(node)) + QStringLiteral(".dcf");
}

QString unnamed_node(int node) { return QStringLiteral("node %1").arg(node); }

}  // namespace objects
