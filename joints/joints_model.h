#pragma once
// The Joints window's table over a joint_table: one row per joint, the name editable (kept in the
// settings per bus and node).
#include "joints/joint_table.h"

#include <QAbstractTableModel>

namespace joints {

class joints_model : public QAbstractTableModel {
    Q_OBJECT

public:
    enum column { bus, node, name, protocol, nmt, state, mode, position, velocity, effort, error, emcy, heartbeat, guarded, outcome, column_count };

    explicit joints_model(joint_table &table, QObject *parent = nullptr) : QAbstractTableModel(parent), table_(table) {}

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // After rows were added: the view learns of them.
    void rows_changed();
    // The values changed: every cell is read again.
    void values_changed();

private:
    joint_table &table_;
    int shown_rows_ = 0;
};

}  // namespace joints
