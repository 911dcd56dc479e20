#include "objects/od_tree_model.h"

#include "base/hex.h"
#include "canopen/value_codec.h"

#include <QBrush>
#include <QCoreApplication>
#include <QFont>

namespace objects {

using canopen::type_name;

namespace {

// internalId of a top-level row; an entry row stores its object's row + 1.
constexpr quintptr top_level = 0;

}  // namespace

od_tree_model::od_tree_model(QObject *parent) : QAbstractItemModel(parent) {}

void od_tree_model::set_document(const eds_document &document)
{
    beginResetModel();
    document_ = document;
    endResetModel();
}

void od_tree_model::values_changed()
{
    // Only values and their marks change, of any row: the rows themselves stay.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

void od_tree_model::set_node_id(int node)
{
    node_id_ = node;
    values_changed();
}

QString od_tree_model::resolved(const QString &value) const
{
    QString out;
    return node_id_ >= 1 && node_id_ <= 127 && resolve_node_id(value, node_id_, &out) ? out : value;
}

bool od_tree_model::is_flat(const od_object &o)
{
    return o.object_type != object_array && o.object_type != object_record && o.entries.size() == 1;
}

const od_entry *od_tree_model::entry_at(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    if (index.internalId() == top_level) {
        const od_object &o = document_.objects[static_cast<size_t>(index.row())];
        return is_flat(o) ? &o.entries.front() : nullptr;
    }
    const od_object &o = document_.objects[index.internalId() - 1];
    return &o.entries[static_cast<size_t>(index.row())];
}

QModelIndex od_tree_model::index_of(uint16_t index, uint8_t sub) const
{
    for (size_t r = 0; r < document_.objects.size(); ++r) {
        const od_object &o = document_.objects[r];
        if (o.index != index)
            continue;
        if (is_flat(o))
            return createIndex(static_cast<int>(r), 0, top_level);
        for (size_t s = 0; s < o.entries.size(); ++s)
            if (o.entries[s].sub == sub)
                return createIndex(static_cast<int>(s), 0, static_cast<quintptr>(r + 1));
    }
    return QModelIndex();
}

QModelIndex od_tree_model::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= col_count)
        return QModelIndex();
    if (!parent.isValid())
        return row < static_cast<int>(document_.objects.size()) ? createIndex(row, column, top_level) : QModelIndex();
    if (parent.internalId() != top_level || parent.column() != 0)
        return QModelIndex();
    const od_object &o = document_.objects[static_cast<size_t>(parent.row())];
    if (is_flat(o) || row >= static_cast<int>(o.entries.size()))
        return QModelIndex();
    return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
}

QModelIndex od_tree_model::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == top_level)
        return QModelIndex();
    return createIndex(static_cast<int>(child.internalId() - 1), 0, top_level);
}

int od_tree_model::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return static_cast<int>(document_.objects.size());
    if (parent.internalId() != top_level || parent.column() != 0)
        return 0;
    const od_object &o = document_.objects[static_cast<size_t>(parent.row())];
    return is_flat(o) ? 0 : static_cast<int>(o.entries.size());
}

int od_tree_model::columnCount(const QModelIndex &) const { return col_count; }

QVariant od_tree_model::cell(const od_object &o, const od_entry *e, int column) const
{
    if (column == col_index)
        return hex::prefixed(o.index, 4);
    if (column == col_name)
        return e && !is_flat(o) ? e->name : o.name;
    if (!e)
        return QVariant();
    switch (column) {
    case col_sub: return hex::prefixed(e->sub, 2);
    case col_type: return type_name(e->type);
    case col_access: return e->access;
    case col_default: return resolved(e->default_value);
    case col_limits:
        return e->low_limit.isEmpty() && e->high_limit.isEmpty() ? QString() : e->low_limit + QStringLiteral(" .. ") + e->high_limit;
    case col_pdo: return e->pdo_mapping ? QStringLiteral("✓") : QString();
    case col_value: return resolved(e->parameter_value);
    default: return QVariant();
    }
}

QVariant od_tree_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const size_t row = index.internalId() == top_level ? static_cast<size_t>(index.row()) : index.internalId() - 1;
    const od_object &o = document_.objects[row];
    const od_entry *e = entry_at(index);
    if (role == Qt::DisplayRole)
        return cell(o, e, index.column());
    const bool marked = e && e->differs;
    if (role == Qt::FontRole && marked) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role == Qt::BackgroundRole && marked)
        return QBrush(QColor(255, 236, 179));
    if (role == Qt::ToolTipRole && marked)
        return QCoreApplication::translate("od_tree_model", "与默认值不同/differs from the default %1")
            .arg(resolved(e->default_value));
    if (role == Qt::ToolTipRole && e && index.column() == col_default && e->default_value.contains(QLatin1Char('$')))
        return e->default_value;
    return QVariant();
}

QVariant od_tree_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    // Two lines, so that a heading is no wider than the column's contents; one with a language's
    // catalogue installed.
    static const char *const headers[col_count] = {
        QT_TRANSLATE_NOOP("od_tree_model", "索引\nIndex"),   QT_TRANSLATE_NOOP("od_tree_model", "子索引\nSub"),
        QT_TRANSLATE_NOOP("od_tree_model", "名称\nName"),    QT_TRANSLATE_NOOP("od_tree_model", "类型\nType"),
        QT_TRANSLATE_NOOP("od_tree_model", "访问\nAccess"),  QT_TRANSLATE_NOOP("od_tree_model", "默认值\nDefault"),
        QT_TRANSLATE_NOOP("od_tree_model", "范围\nLimits"),  "PDO",
        QT_TRANSLATE_NOOP("od_tree_model", "读取值\nValue")};
    return QCoreApplication::translate("od_tree_model", headers[section]);
}

}  // namespace objects
