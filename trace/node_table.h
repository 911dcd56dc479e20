#pragma once
// The bus trace window's node table: each node the trace met, its NMT state (or lost), when it
// was last seen, its heartbeat period, its emergencies and its last error. What the rows say is
// trace/node_health's; this is their view.
#include "trace/node_health.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QTableWidget;

namespace Ui {
class Node_table;
}

class Node_table : public QWidget {
    Q_OBJECT

public:
    explicit Node_table(QWidget *parent = nullptr);
    ~Node_table() override;

    // How an emergency error code reads; unset, the code alone.
    void set_error_text(std::function<QString(uint16_t code)> text) { error_text_ = std::move(text); }
    // rows as of now_us (the same clock as their last_seen_us).
    // interface, when given, names each row's interface before its node (several buses).
    void show_rows(const std::vector<trace::node_health_row> &rows, int64_t now_us,
                   const std::function<QString(uint16_t iface)> &interface = {});
    // The height that shows the header and rows rows whole.
    int height_for_rows(int rows) const;
    QTableWidget *table() const;

protected:
    void changeEvent(QEvent *e) override;

private:
    void set_headers();
    QString error_cell(int code) const;

    Ui::Node_table *ui;
    std::function<QString(uint16_t)> error_text_;
};
