#include "canopen/drive_changes.h"

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "canopen/joint_guard.h"
#include "canopen/sdo_abort.h"

namespace canopen {

namespace {

QByteArray little_endian(uint32_t v, int size)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b += static_cast<char>(v >> (8 * i));
    return b;
}

QString address(uint16_t index, uint8_t sub)
{
    return QStringLiteral("0x%1:%2").arg(hex::digits(index, 4)).arg(sub);
}

}  // namespace

put_back_result put_back(const sdo_link &link, const drive_journal::entry &e)
{
    put_back_result r;
    bool refused = false;
    for (const drive_journal::write &w : e.restore) {
        const sdo_outcome o = write_object(link, w.index, w.sub, little_endian(w.value, w.size));
        if (o.ok || w.may_fail)
            continue;
        if (o.abort == abort_code::no_object || o.abort == abort_code::no_subindex) {
            r.notes << QStringLiteral("%1: %2").arg(address(w.index, w.sub), abort_text(o.abort));
            continue;
        }
        refused = true;
        r.notes << QStringLiteral("%1 = %2: %3").arg(address(w.index, w.sub), hex::prefixed(w.value), abort_text(o.abort));
        if (o.abort == abort_code::timeout)
            break;
    }
    r.done = !refused;
    if (r.done)
        drive_journal::remove(e.bus, e.node, e.kind);
    return r;
}

QString describe(const std::vector<drive_journal::entry> &entries)
{
    QStringList lines;
    for (const drive_journal::entry &e : entries)
        lines << QStringLiteral("%1 %2: %3").arg(QStringLiteral("节点/node")).arg(e.node).arg(e.name);
    return lines.join(QLatin1Char('\n'));
}

std::vector<drive_journal::entry> offer_put_back(QWidget *parent, const sdo_link &link, int bus, int node)
{
    std::vector<drive_journal::entry> left;
    // A joint this program guards now is no change left behind.
    for (const drive_journal::entry &e : drive_journal::of_node(bus, node))
        if (!(e.kind == QLatin1String("guard") && guarded(bus, node)))
            left.push_back(e);
    if (left.empty())
        return left;
    desktop_seams::box_request ask{
        desktop_seams::box_kind::question,
        parent,
        QStringLiteral("驱动器未恢复/Drive left changed"),
        QStringLiteral("上次Velmora未能恢复此驱动器的临时更改：\nVelmora did not put back these temporary changes to "
                       "the drive last time:\n\n%1")
            .arg(describe(left)),
        QMessageBox::Yes | QMessageBox::No,
        QStringLiteral("是：写回更改前读到的原值/Yes: write back the values found before the change\n"
                       "否：保持现状，下次连接时再问/No: leave them, ask again at the next connect"),
        {{QMessageBox::Yes, QStringLiteral("恢复原值/Restore")}, {QMessageBox::No, QStringLiteral("保持/Leave")}}};
    if (desktop_seams::ask(ask) != QMessageBox::Yes)
        return left;
    std::vector<drive_journal::entry> still;
    QStringList notes;
    for (const drive_journal::entry &e : left) {
        const put_back_result r = put_back(link, e);
        if (!r.done)
            still.push_back(e);
        for (const QString &n : r.notes)
            notes << e.name + QStringLiteral(": ") + n;
    }
    if (!notes.isEmpty())
        desktop_seams::warning(parent, ask.title,
                               QStringLiteral("%1\n\n%2")
                                   .arg(still.empty() ? QStringLiteral("已恢复/Put back")
                                                      : QStringLiteral("未能全部恢复/Not all put back"),
                                        notes.join(QLatin1Char('\n'))));
    return still;
}

QString left_behind_report()
{
    const std::vector<drive_journal::entry> left = drive_journal::all();
    if (left.empty())
        return QString();
    QStringList lines;
    for (const drive_journal::entry &e : left)
        lines << QStringLiteral("drive left changed by an earlier run: bus %1 node %2: %3 (restore it from the "
                                "CANopen window's connect)")
                     .arg(e.bus)
                     .arg(e.node)
                     .arg(e.name);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace canopen
