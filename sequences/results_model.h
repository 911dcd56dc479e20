#pragma once
// The results table: the check book's rows, then its summaries, as the window shows them (a
// model over the book, so a long run costs no widget per cell).
#include "sequences/check_book.h"

#include <QAbstractTableModel>

namespace sequences {

class results_model : public QAbstractTableModel {
    Q_OBJECT

public:
    enum column {
        time_column,
        check_column,
        actual_column,
        expected_column,
        tolerance_column,
        result_column,
        column_count
    };

    explicit results_model(const check_book &book, QObject *parent = nullptr) : QAbstractTableModel(parent), book_(book)
    {}

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Shows what the book holds now: new rows and summaries, and the summaries' new values.
    void sync();
    // After the book was cleared.
    void reset();

private:
    const check_book &book_;
    int rows_ = 0;
    int summaries_ = 0;
};

}  // namespace sequences
