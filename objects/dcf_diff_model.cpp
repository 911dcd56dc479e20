#include "objects/dcf_diff_model.h"

#include "base/hex.h"
#include "canopen/cia_objects.h"
#include "canopen/sdo_abort.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>

namespace objects {

void dcf_diff_model::set_rows(const std::vector<dcf_row> &rows)
{
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

int dcf_diff_model::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

int dcf_diff_model::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : col_count; }

QString dcf_diff_model::cell(const dcf_row &r, int column) const
{
    switch (column) {
    case col_node: return QString::number(r.node);
    case col_index: return hex::prefixed(r.value.index, 4);
    case col_sub: return hex::prefixed(r.value.sub, 2);
    case col_name: return r.value.name;
    case col_dcf:
        // An identity reads alike in both columns, however the file writes it.
        if (canopen::is_identity_entry(r.value.index, r.value.sub) && r.value.bytes.ok && r.value.bytes.bytes.size() == 4)
            return canopen::identity_text(r.value.bytes.bytes);
        return r.value.text;
    case col_drive:
        if (r.read)
            return drive_text(r.value, r.drive);
        return r.abort != 0 ? canopen::abort_text(r.abort) : QString();
    case col_state: return r.read || r.abort != 0 || r.state == dcf_state::invalid ? state_text(r.state) : QString();
    default: return QString();
    }
}

QVariant dcf_diff_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return QVariant();
    const dcf_row &r = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return cell(r, index.column());
    if (role == Qt::ToolTipRole)
        return cell(r, index.column());
    if (role == filter_role)
        return r.state == dcf_state::same ? QStringLiteral("same") : QStringLiteral("other");
    if (role == Qt::BackgroundRole && r.state != dcf_state::same && (r.read || r.abort != 0))
        return QBrush(QColor(255, 236, 179));
    return QVariant();
}

QVariant dcf_diff_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= col_count)
        return QVariant();
    static const char *const headers[col_count] = {
        QT_TRANSLATE_NOOP("dcf_diff_model", "节点/Node"),       QT_TRANSLATE_NOOP("dcf_diff_model", "索引/Index"),
        QT_TRANSLATE_NOOP("dcf_diff_model", "子索引/Sub"),      QT_TRANSLATE_NOOP("dcf_diff_model", "名称/Name"),
        QT_TRANSLATE_NOOP("dcf_diff_model", "DCF值/DCF value"), QT_TRANSLATE_NOOP("dcf_diff_model", "驱动器值/Drive"),
        QT_TRANSLATE_NOOP("dcf_diff_model", "状态/State")};
    return QCoreApplication::translate("dcf_diff_model", headers[section]);
}

}  // namespace objects
