#include "sequences/results_model.h"

#include <QBrush>
#include <QCoreApplication>
#include <QColor>

// Its texts are in the window's catalogue context.

namespace sequences {

int results_model::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : rows_ + summaries_; }

int results_model::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : column_count; }

QVariant results_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case time_column: return QCoreApplication::translate("Sequences", "时间/Time (s)");
    case check_column: return QCoreApplication::translate("Sequences", "检查/Check");
    case actual_column: return QCoreApplication::translate("Sequences", "实际/Actual");
    case expected_column: return QCoreApplication::translate("Sequences", "期望/Expected");
    case tolerance_column: return QCoreApplication::translate("Sequences", "容差/Tol.");
    case result_column: return QCoreApplication::translate("Sequences", "结果/Result");
    default: return QVariant();
    }
}

QVariant results_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_ + summaries_)
        return QVariant();
    const bool summary = index.row() >= rows_;
    const check_summary *s = summary ? &book_.summaries()[static_cast<size_t>(index.row() - rows_)] : nullptr;
    const check_result &r = summary ? s->last : book_.rows()[static_cast<size_t>(index.row())];
    const bool passed = summary ? s->failed == 0 : r.passed;
    if (role == Qt::ForegroundRole && index.column() == result_column)
        return QBrush(passed ? QColor(0, 128, 0) : QColor(200, 0, 0));
    if (role == Qt::TextAlignmentRole && index.column() != check_column)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    // A value wider than its column is read in full from its tip.
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case time_column: return QString::number(r.time_s, 'f', 3);
    case check_column:
        if (!summary)
            return r.name;
        return QStringLiteral("%1 (+%2)")
            .arg(s->name.isEmpty() ? QCoreApplication::translate("Sequences", "其他检查/other checks") : s->name)
            .arg(s->count);
    case actual_column:
        if (summary && s->numeric)
            return QStringLiteral("%1 … %2 (⌀ %3)")
                .arg(check_number_text(s->min), check_number_text(s->max), check_number_text(s->mean()));
        return r.actual;
    case expected_column: return r.expected;
    case tolerance_column: return r.numeric ? check_number_text(r.tolerance) : QString();
    case result_column:
        if (summary)
            return s->failed
                ? QStringLiteral("%1 ").arg(s->failed) + QCoreApplication::translate("Sequences", "失败/failed")
                : QCoreApplication::translate("Sequences", "通过/pass");
        return passed ? QCoreApplication::translate("Sequences", "通过/pass")
                      : QCoreApplication::translate("Sequences", "失败/FAIL");
    default: return QVariant();
    }
}

void results_model::sync()
{
    const int rows = static_cast<int>(book_.rows().size());
    const int summaries = static_cast<int>(book_.summaries().size());
    if (rows != rows_) {
        // Rows come before the summaries, and summaries only begin once the rows are full.
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    }
    if (summaries_ > 0)
        emit dataChanged(index(rows_, 0), index(rows_ + summaries_ - 1, column_count - 1));
    if (summaries != summaries_) {
        beginInsertRows(QModelIndex(), rows_ + summaries_, rows_ + summaries - 1);
        summaries_ = summaries;
        endInsertRows();
    }
}

void results_model::reset()
{
    beginResetModel();
    rows_ = static_cast<int>(book_.rows().size());
    summaries_ = static_cast<int>(book_.summaries().size());
    endResetModel();
}

}  // namespace sequences
