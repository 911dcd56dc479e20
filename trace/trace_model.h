#pragma once
// The bus trace as a table model over a frame log (24 bytes a frame), with a filtered row index
// of 4 bytes per visible frame. Frames come in batches from a timer; texts are made only for
// the rows a view asks for. A log from a file can be played back: the model then shows its
// frames up to the point played.
#include "trace/frame_decoder.h"
#include "trace/frame_log.h"
#include "trace/node_health.h"

#include <QAbstractTableModel>
#include <algorithm>
#include <map>
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
    QString iface;  // the interface ("sim1", "can0"); empty for every one
    bool matches(const trace_record &r) const;
};

// Per-identifier summary for the second view: one row per identifier (and direction), over
// the frames the filter shows.
struct id_summary {
    uint64_t count = 0;
    int64_t first_us = 0;
    int64_t last_us = 0;
    trace_record last;
    // The mean time between its frames, from their own times; 0 below two frames.
    int64_t period_us() const { return count > 1 ? std::max<int64_t>(0, last_us - first_us) / int64_t(count - 1) : 0; }
};

class trace_model : public QAbstractTableModel {
    Q_OBJECT

public:
    enum column {
        time_column,
        direction_column,
        interface_column,
        id_column,
        dlc_column,
        data_column,
        meaning_column,
        column_count
    };

    explicit trace_model(size_t cap = frame_log::default_cap, QObject *parent = nullptr);

    void append(const std::vector<vci::tapped_frame> &frames);
    void append(const std::vector<trace_record> &records);
    // Shows a log read from a file in place of what the model held.
    void load(frame_log &&log);
    void clear();

    // Playback: rewind() hides every frame, advance(n) shows the first n (as if they had just
    // arrived: node table, PDO mappings and identifiers follow).
    void rewind();
    void advance(size_t frames);
    size_t shown_frames() const { return shown_; }

    void set_filter(const trace_filter &filter);
    // Whether the filter shows the log's frame i.
    bool shows(size_t i) const;
    const trace_filter &filter() const { return filter_; }
    // While paused, frames are still kept but the rows do not grow.
    void set_paused(bool paused);
    bool paused() const { return paused_; }
    // The cap of the log; a trace over it lets its oldest frames go at once.
    void set_cap(size_t cap);
    // Time of day (the default) or seconds since the start of the trace.
    void set_relative_time(bool relative);

    decoder_context &context() { return context_; }
    const node_health &nodes() const { return nodes_; }
    const std::map<uint64_t, id_summary> &identifiers() const { return ids_; }

    const frame_log &log() const { return log_; }
    // The wall-clock time of the records' time 0 (a live trace's start).
    void set_epoch(int64_t wall_us) { log_.epoch_us = wall_us; }
    size_t frame_count() const { return log_.size(); }
    const trace_record &frame(size_t i) const { return log_.at(i); }
    const trace_record &row_record(int row) const { return log_.at(rows_[static_cast<size_t>(row)]); }
    // Positions in the log of the rows shown, in order.
    const std::vector<uint32_t> &rows() const { return rows_; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString data_text(const trace_record &r, const frame_detail *detail = nullptr);
    static QString id_text(const trace_record &r);
    // "hh:mm:ss.zzzzzz" local time of a wall-clock time in microseconds since the Unix epoch.
    static QString time_of_day(int64_t wall_us);

private:
    void observe(trace_record &r, uint16_t iface);
    void forget_observations();
    void count_identifier(const trace_record &r);
    void extend_rows();
    void rebuild_rows();

    frame_log log_;
    size_t shown_ = 0;  // frames observed and offered to the rows
    uint64_t dropped_seen_ = 0;
    std::vector<uint32_t> rows_;
    size_t filtered_upto_ = 0;  // records already offered to the filter
    trace_filter filter_;
    bool paused_ = false;
    bool relative_time_ = false;
    std::vector<int> tap_interfaces_;  // the tap's interface numbers in the log's
    decoder_context context_;
    maker_request_tracker tracker_;
    pdo_mapping_tracker mappings_;
    node_health nodes_;
    std::map<uint64_t, id_summary> ids_;
};

}  // namespace trace
