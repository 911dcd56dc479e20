#include "joints/joints_model.h"

#include "base/language.h"
#include "canopen/cia402.h"
#include "canopen/nmt_state.h"

namespace joints {

namespace {

QString hex4(uint16_t code) { return QStringLiteral("0x") + QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')); }

QString code_text(uint16_t code)
{
    const QString text = canopen::error_code_text(code);
    return text.isEmpty() ? hex4(code) : hex4(code) + QLatin1Char(' ') + in_language(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

}  // namespace

int joints_model::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : shown_rows_; }

int joints_model::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : column_count; }

QVariant joints_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char *const headers[column_count] = {
        "总线/Bus",  "节点/Node",     "名称/Name",     "协议/Protocol", "NMT",       "CiA 402状态/CiA 402 state", "模式/Mode",
        "位置/Position", "速度/Velocity", "电流或转矩/Current or torque", "错误/Error", "最近EMCY/Last EMCY", "心跳/Heartbeat age",
        "看护/Guarded", "结果/Outcome"};
    if (section < 0 || section >= column_count)
        return QVariant();
    return in_language(QString::fromUtf8(headers[section]));
}

Qt::ItemFlags joints_model::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == name)
        f |= Qt::ItemIsEditable;
    return f;
}

bool joints_model::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != name || index.row() >= shown_rows_)
        return false;
    table_.rename(index.row(), value.toString().trimmed());
    emit dataChanged(index, index);
    return true;
}

QVariant joints_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shown_rows_ || index.row() >= static_cast<int>(table_.rows().size()))
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    const joint_state &j = table_.rows()[index.row()];
    const bool canopen = j.protocol == joint_protocol::canopen;
    switch (index.column()) {
    case bus: return j.address.bus;
    case node: return j.address.node;
    case name: return j.name;
    case protocol: return canopen ? QStringLiteral("CANopen") : in_language(QStringLiteral("厂商协议/Maker's protocol"));
    case nmt: return canopen ? in_language(canopen::nmt_state_text(j.nmt)) : QStringLiteral("-");
    case state: return in_language(state_text(j));
    case mode: return canopen && j.mode_known ? QString::number(j.mode) : QStringLiteral("-");
    case position: return j.values_known ? QString::number(j.position) : QStringLiteral("-");
    case velocity: return j.values_known ? QString::number(j.velocity) : QStringLiteral("-");
    case effort: return j.values_known ? QString::number(j.effort) + (canopen ? QStringLiteral(" ‰") : QStringLiteral(" mA")) : QStringLiteral("-");
    case error:
        if (!j.error_known)
            return QStringLiteral("-");
        return canopen ? code_text(j.error_code) : hex4(j.error_code);
    case emcy: return j.emcy_us < 0 ? QStringLiteral("-") : code_text(j.emcy_code) + QStringLiteral(" @%1 s").arg(j.emcy_us / 1e6, 0, 'f', 3);
    case heartbeat:
        if (j.heartbeat_us < 0)
            return QStringLiteral("-");
        return QStringLiteral("%1 ms").arg((bus_clock_us() - j.heartbeat_us) / 1000);
    case guarded: return in_language(j.guarded ? QStringLiteral("是/yes") : QStringLiteral("否/no"));
    case outcome: return in_language(outcome_text(j));
    default: return QVariant();
    }
}

void joints_model::rows_changed()
{
    const int n = static_cast<int>(table_.rows().size());
    if (n > shown_rows_) {
        beginInsertRows(QModelIndex(), shown_rows_, n - 1);
        shown_rows_ = n;
        endInsertRows();
    }
}

void joints_model::values_changed()
{
    if (shown_rows_ > 0)
        emit dataChanged(index(0, 0), index(shown_rows_ - 1, column_count - 1), {Qt::DisplayRole});
}

}  // namespace joints
