#include "sequences/engine_wire.h"

#include "can/vci/bus_backend.h"
#include "objects/firmware_job.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

namespace sequences {

namespace {

// kind .. numbers: everything before the texts.
constexpr int fixed_size = 1 + 4 + 1 + 1 + 2 + 1 + 8 + 4 + 3 * 8;

void put(QByteArray &out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint64_t get(const char *p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(static_cast<uint8_t>(p[i])) << (8 * i);
    return v;
}

// The UTF-16 code units of text, little-endian: whatever a script made of a string (an unpaired
// surrogate too) arrives as it was. Cut to limit bytes, with "…" at the end.
QByteArray text_bytes(const QString &text, bool cut)
{
    QString t = text;
    const int most = wire_text_limit / 2;
    if (cut && t.size() > most) {
        t.truncate(most - 1);
        t += QChar(0x2026);
    }
    QByteArray bytes;
    bytes.reserve(t.size() * 2);
    for (const QChar c : t)
        put(bytes, c.unicode(), 2);
    return bytes;
}

QString text_of(const char *p, int bytes)
{
    QString t(bytes / 2, Qt::Uninitialized);
    for (int i = 0; i < t.size(); ++i)
        t[i] = QChar(static_cast<char16_t>(get(p + 2 * i, 2)));
    return t;
}

bool known(uint8_t kind) { return kind >= static_cast<uint8_t>(wire_kind::script) && kind <= static_cast<uint8_t>(wire_kind::stop_listed); }

}  // namespace

QByteArray encode(const wire_message &m)
{
    QByteArray body;
    body.reserve(fixed_size + 16);
    put(body, static_cast<uint8_t>(m.kind), 1);
    put(body, static_cast<uint32_t>(m.node), 4);
    put(body, m.flag, 1);
    put(body, m.length, 1);
    put(body, m.index, 2);
    put(body, m.sub, 1);
    body.append(reinterpret_cast<const char *>(m.frame), 8);
    put(body, static_cast<uint32_t>(m.value), 4);
    for (double d : m.numbers) {
        uint64_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        put(body, bits, 8);
    }
    for (const QString &t : m.texts) {
        const QByteArray bytes = text_bytes(t, m.kind != wire_kind::script);
        put(body, static_cast<uint32_t>(bytes.size()), 4);
        body += bytes;
    }
    QByteArray out;
    put(out, static_cast<uint32_t>(body.size()), 4);
    return out + body;
}

wire_reader::status wire_reader::next(wire_message *out)
{
    if (garbled_)
        return status::garbled;
    if (buffer_.size() < 4)
        return status::more;
    const uint64_t size = get(buffer_.constData(), 4);
    if (size < fixed_size + 3 * 4 || size > max_size_) {
        garbled_ = true;
        return status::garbled;
    }
    if (static_cast<uint64_t>(buffer_.size()) < 4 + size)
        return status::more;
    const char *p = buffer_.constData() + 4;
    const char *const end = p + size;
    wire_message m;
    const uint8_t kind = static_cast<uint8_t>(p[0]);
    m.node = static_cast<int32_t>(static_cast<uint32_t>(get(p + 1, 4)));
    m.flag = static_cast<uint8_t>(p[5]);
    m.length = static_cast<uint8_t>(p[6]);
    m.index = static_cast<uint16_t>(get(p + 7, 2));
    m.sub = static_cast<uint8_t>(p[9]);
    std::memcpy(m.frame, p + 10, 8);
    m.value = static_cast<int32_t>(static_cast<uint32_t>(get(p + 18, 4)));
    for (int i = 0; i < 3; ++i) {
        const uint64_t bits = get(p + 22 + 8 * i, 8);
        std::memcpy(&m.numbers[i], &bits, sizeof bits);
    }
    p += fixed_size;
    bool ok = known(kind) && m.length <= 8;
    for (QString &t : m.texts) {
        if (!ok || end - p < 4) {
            ok = false;
            break;
        }
        const uint64_t n = get(p, 4);
        p += 4;
        if (n > static_cast<uint64_t>(end - p) || n % 2 != 0) {
            ok = false;
            break;
        }
        t = text_of(p, static_cast<int>(n));
        p += n;
    }
    // Every byte the size announced belongs to the message.
    if (!ok || p != end) {
        garbled_ = true;
        return status::garbled;
    }
    m.kind = static_cast<wire_kind>(kind);
    buffer_.remove(0, static_cast<int>(4 + size));
    *out = m;
    return status::message;
}

namespace {

using report_text = QString objects::firmware_report::*;
const std::pair<const char *, report_text> report_texts[] = {
    {"product", &objects::firmware_report::product},
    {"before_id", &objects::firmware_report::before_id},
    {"after_id", &objects::firmware_report::after_id},
    {"before_version", &objects::firmware_report::before_version},
    {"after_version", &objects::firmware_report::after_version},
    {"note", &objects::firmware_report::note},
};

constexpr int last_result = static_cast<int>(objects::firmware_report::result::cancelled);

}  // namespace

QString encode_firmware_report(const objects::firmware_report &r)
{
    QJsonObject o;
    o.insert(QStringLiteral("node"), r.node);
    for (const auto &t : report_texts)
        o.insert(QLatin1String(t.first), r.*t.second);
    o.insert(QStringLiteral("started"), r.started.isValid() ? r.started.toMSecsSinceEpoch() : -1.0);
    o.insert(QStringLiteral("ended"), r.ended.isValid() ? r.ended.toMSecsSinceEpoch() : -1.0);
    o.insert(QStringLiteral("result"), static_cast<int>(r.outcome));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

objects::firmware_report decode_firmware_report(const QString &text)
{
    objects::firmware_report r;
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    const int node = o.value(QStringLiteral("node")).toInt();
    r.node = node >= 0 && node <= 127 ? node : 0;
    for (const auto &t : report_texts)
        r.*t.second = o.value(QLatin1String(t.first)).toString();
    const auto time = [&o](const char *key) {
        const double ms = o.value(QLatin1String(key)).toDouble(-1);
        // Within the years a clock may show; anything else reads as not taken.
        return ms >= 0 && ms < 4.0e12 ? QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms)) : QDateTime();
    };
    r.started = time("started");
    r.ended = time("ended");
    const int result = o.value(QStringLiteral("result")).toInt();
    r.outcome = static_cast<objects::firmware_report::result>(result >= 0 && result <= last_result ? result : 0);
    return r;
}

QString encode_known_joints(const std::vector<known_joint> &joints)
{
    QString out;
    for (const known_joint &j : joints) {
        // A name is one line of the list.
        QString name = j.name;
        name.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        out += QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(j.key.protocol == motion::joint_protocol::custom ? QStringLiteral("custom") : QStringLiteral("canopen"))
                   .arg(j.key.bus)
                   .arg(j.key.node)
                   .arg(j.enabled ? 1 : 0)
                   .arg(name);
    }
    return out;
}

std::vector<known_joint> decode_known_joints(const QString &text)
{
    std::vector<known_joint> out;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() < 4)
            continue;
        known_joint j;
        if (f[0] == QLatin1String("canopen"))
            j.key.protocol = motion::joint_protocol::canopen;
        else if (f[0] == QLatin1String("custom"))
            j.key.protocol = motion::joint_protocol::custom;
        else
            continue;
        bool bus_ok = false, node_ok = false, enabled_ok = false;
        j.key.bus = f[1].toInt(&bus_ok);
        j.key.node = f[2].toInt(&node_ok);
        const int enabled = f[3].toInt(&enabled_ok);
        if (!bus_ok || !node_ok || !enabled_ok || j.key.bus < 0 || j.key.bus >= vci::max_buses || j.key.node < 1 ||
            j.key.node > 127 || (enabled != 0 && enabled != 1))
            continue;
        j.enabled = enabled == 1;
        j.name = f.mid(4).join(QLatin1Char(' '));
        out.push_back(j);
    }
    return out;
}

}  // namespace sequences
