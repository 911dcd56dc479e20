#pragma once
// The nodes of the bench in hand as a table (node, name, expected identity, DCF, state), and
// whether each is still there: once booted, every node's heartbeat is consumed, and a node whose
// heartbeat stays away for three of its producer times is lost until it is heard again. The
// commissioning page shows it; any other window may read it (lost(), state()).
#include "objects/bench.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <memory>
#include <vector>

namespace vci::bus_tap {
class listener;
}

namespace objects {

class bench_boot;

class bench_model : public QAbstractTableModel {
    Q_OBJECT

public:
    enum column { col_node, col_name, col_identity, col_dcf, col_state, col_count };
    enum class state { waiting, booting, done, failed, not_run, lost };

    explicit bench_model(QObject *parent = nullptr);
    ~bench_model() override;

    void set_bench(const bench_file &bench);
    const bench_file &bench() const { return bench_; }
    // The state of a node as the boot left it, or is leaving it now.
    void show_boot(const bench_boot &boot, int node_index);
    // Consumes the heartbeats of the nodes the boot took to operational (their DCF's producer
    // time); stops watching the others.
    void watch(const bench_boot &boot);
    void stop_watching();

    int row_of(int node) const;
    state state_of(int node) const;
    bool lost(int node) const { return state_of(node) == state::lost; }
    // The row's state text as shown.
    QString state_text(int row) const;
    // The node named so in the node list ("J3"); 0 none.
    int node_named(const QString &name) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // How often the heartbeats are looked at.
    static constexpr int watch_interval_ms = 20;

signals:
    // A node was lost or heard again.
    void lost_changed(int node, bool lost);

private:
    struct row_state {
        state st = state::waiting;
        QString text;
        int period_ms = 0;       // watched with this producer time; 0 not watched
        int64_t last_us = -1;    // the last heartbeat, tap time
        state before_lost = state::done;
    };
    void look();
    void changed(int row);

    bench_file bench_;
    std::vector<row_state> rows_;
    std::unique_ptr<vci::bus_tap::listener> listener_;
    QTimer timer_;
};

}  // namespace objects
