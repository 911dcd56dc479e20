#pragma once
// The table of a DCF compare or download: one row per node and object the DCF sets, with the
// DCF's value, the drive's and how they compare. Rows that differ are tinted; the state
// column's filter_role is "same" for rows that agree, so that a proxy can hide them.
#include "objects/dcf_config.h"

#include <QAbstractTableModel>
#include <vector>

namespace objects {

class dcf_diff_model : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int filter_role = Qt::UserRole;
    enum column { col_node, col_index, col_sub, col_name, col_dcf, col_drive, col_state, col_count };

    using QAbstractTableModel::QAbstractTableModel;
    void set_rows(const std::vector<dcf_row> &rows);
    const std::vector<dcf_row> &rows() const { return rows_; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString cell(const dcf_row &r, int column) const;
    std::vector<dcf_row> rows_;
};

}  // namespace objects
