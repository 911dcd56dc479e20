#pragma once
// The bus trace as a table model over compact records (24 bytes each, in chunks so that growth
// never copies the whole trace), with a filtered row index of 4 bytes per visible frame. Frames
// come in batches from a timer; texts are made only for the rows a view asks for.
#include "trace/frame_decoder.h"
#include "trace/node_health.h"
#include "trace/trace_record.h"

#include <QAbstractTableModel>
#include <map>
#include <memory>
#include <vector>

namespace vci {
struct tapped_frame;
}

namespace trace {

struct trace_filter {
    uint32_t id = 0;
    uint32_t mask = 0;  // bits of the identifier that must equal id's; 0 lets every frame pass
    int node = 0;       // 0 = any node
    uint16_t kinds = all_kinds;
    bool matches(const trace_record &r) const;
};

// Chunked storage of records; the oldest chunk can be dropped when the trace reaches its limit.
class record_store {
public:
    static constexpr size_t chunk_size = 1 << 16;
    void push(const trace_record &r);
    size_t size() const { return size_; }
    const trace_record &at(size_t i) const { return chunks_[i / chunk_size][i % chunk_size]; }
    void drop_oldest_chunk();
    void clear();

private:
    std::vector<std::unique_ptr<trace_record[]>> chunks_;
    size_t size_ = 0;
};

// Per-identifier summary for the second view: one row per identifier (and direction).
struct id_summary {
    uint32_t id = 0;
    uint8_t flags = 0;
    uint64_t count = 0;
    int64_t last_us = 0;
    int64_t period_us = 0;  // between the last two frames
    trace_record last;
};

class trace_model : public QAbstractTableModel {
    Q_OBJECT

public:
    enum column { time_column, direction_column, id_column, dlc_column, data_column, meaning_column, column_count };

    // At this many frames the oldest are let go, a chunk at a time.
    explicit trace_model(size_t max_frames = 4000000, QObject *parent = nullptr);

    void append(const std::vector<vci::tapped_frame> &frames);
    void append(const std::vector<trace_record> &records);
    void clear();

    void set_filter(const trace_filter &filter);
    const trace_filter &filter() const { return filter_; }
    // While paused, frames are still kept but the rows do not grow.
    void set_paused(bool paused);
    bool paused() const { return paused_; }

    decoder_context &context() { return context_; }
    const node_health &nodes() const { return nodes_; }
    const std::map<uint64_t, id_summary> &identifiers() const { return ids_; }

    size_t frame_count() const { return store_.size(); }
    const trace_record &frame(size_t i) const { return store_.at(i); }
    const trace_record &row_record(int row) const { return store_.at(rows_[static_cast<size_t>(row)]); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString data_text(const trace_record &r);
    static QString id_text(const trace_record &r);

private:
    void keep(trace_record r);
    void extend_rows();
    void rebuild_rows();

    size_t max_frames_;
    record_store store_;
    std::vector<uint32_t> rows_;
    size_t filtered_upto_ = 0;  // records already offered to the filter
    bool rows_stale_ = false;   // old frames were let go: the rows index the wrong records
    trace_filter filter_;
    bool paused_ = false;
    decoder_context context_;
    maker_request_tracker tracker_;
    pdo_mapping_tracker mappings_;
    node_health nodes_;
    std::map<uint64_t, id_summary> ids_;
};

}  // namespace trace
