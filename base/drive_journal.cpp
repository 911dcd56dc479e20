#include "base/drive_journal.h"

#include "base/desktop_seams.h"
#include "base/hex.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <functional>

namespace drive_journal {

namespace {

const QString group = QStringLiteral("drive_journal");
const QString separator = QStringLiteral(" | ");

QString key_of(int bus, int node, const QString &kind)
{
    return QStringLiteral("bus%1-node%2-%3").arg(bus).arg(node).arg(kind);
}


QString encode_write(const write &w)
{
    return QStringLiteral("%1:%2=%3/%4%5")
        .arg(hex::digits(w.index, 4), hex::digits(w.sub, 2), hex::digits(w.value))
        .arg(w.size)
        .arg(w.may_fail ? QStringLiteral("?") : QString());
}

std::optional<write> decode_write(const QString &text)
{
    static const QRegularExpression shape(
        QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,2})=([0-9A-Fa-f]{1,8})/([124])(\\?)?$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    write w;
    w.index = static_cast<uint16_t>(m.captured(1).toUInt(nullptr, 16));
    w.sub = static_cast<uint8_t>(m.captured(2).toUInt(nullptr, 16));
    w.value = m.captured(3).toUInt(nullptr, 16);
    w.size = m.captured(4).toInt();
    w.may_fail = !m.captured(5).isEmpty();
    return w;
}

std::vector<entry> entries_where(const std::function<bool(const entry &)> &keep)
{
    QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    s.beginGroup(group);
    std::vector<entry> out;
    for (const QString &key : s.childKeys()) {
        const std::optional<entry> e = decode(key, s.value(key).toString());
        if (e && keep(*e))
            out.push_back(*e);
    }
    return out;
}

}  // namespace

QString encode(const entry &e)
{
    QStringList writes;
    for (const write &w : e.restore)
        writes << encode_write(w);
    return e.name + separator + writes.join(QLatin1Char(' '));
}

std::optional<entry> decode(const QString &key, const QString &value)
{
    static const QRegularExpression key_shape(QStringLiteral("^bus(\\d{1,3})-node(\\d{1,3})-(\\w+)$"));
    const QRegularExpressionMatch k = key_shape.match(key);
    const int cut = value.lastIndexOf(separator);
    if (!k.hasMatch() || cut < 0)
        return std::nullopt;
    entry e;
    e.bus = k.captured(1).toInt();
    e.node = k.captured(2).toInt();
    e.kind = k.captured(3);
    e.name = value.left(cut);
    for (const QString &text : value.mid(cut + separator.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const std::optional<write> w = decode_write(text);
        // A write that cannot be read back must not be dropped from the middle of a procedure.
        if (!w)
            return std::nullopt;
        e.restore.push_back(*w);
    }
    return e;
}

void put(const entry &e)
{
    QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    s.setValue(group + QLatin1Char('/') + key_of(e.bus, e.node, e.kind), encode(e));
    s.sync();
}

void remove(int bus, int node, const QString &kind)
{
    QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    s.remove(group + QLatin1Char('/') + key_of(bus, node, kind));
    s.sync();
}

std::optional<entry> find(int bus, int node, const QString &kind)
{
    const std::vector<entry> found =
        entries_where([&](const entry &e) { return e.bus == bus && e.node == node && e.kind == kind; });
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::vector<entry> of_node(int bus, int node)
{
    return entries_where([&](const entry &e) { return e.bus == bus && e.node == node; });
}

std::vector<entry> all()
{
    return entries_where([](const entry &) { return true; });
}

}  // namespace drive_journal
