#pragma once
// The object dictionary as a two-level tree over the document itself (no item per cell):
// objects on top, the entries of arrays and records below them. A plain variable is one row.
// Values that differ from their default are shown bold on a tinted background.
#include "objects/eds.h"

#include <QAbstractItemModel>

namespace objects {

class od_tree_model : public QAbstractItemModel {
    Q_OBJECT

public:
    enum column { col_index, col_sub, col_name, col_type, col_access, col_default, col_limits, col_pdo, col_value, col_count };

    explicit od_tree_model(QObject *parent = nullptr);

    void set_document(const eds_document &document);
    const eds_document &document() const { return document_; }
    eds_document &document() { return document_; }
    // Call after changing entries' values in document().
    void values_changed();
    // The node whose $NODEID the defaults and values show resolved (1..127; 0 shows them as
    // written).
    void set_node_id(int node);

    // The entry of a row: a variable's row or an entry row; null for the row of an array/record.
    const od_entry *entry_at(const QModelIndex &index) const;
    // The row showing this entry, for selecting it.
    QModelIndex index_of(uint16_t index, uint8_t sub) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    static bool is_flat(const od_object &o);
    QVariant cell(const od_object &o, const od_entry *e, int column) const;

    QString resolved(const QString &value) const;

    eds_document document_;
    int node_id_ = 0;
};

}  // namespace objects
