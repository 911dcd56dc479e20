#include "trace/trace_model.h"

#include "base/hex.h"
#include "can/vci/bus_tap.h"

#include <QCoreApplication>

namespace trace {

bool trace_filter::matches(const trace_record &r) const
{
    if ((r.id & mask) != (id & mask))
        return false;
    if (!(kinds & kind_bit(classify(r))))
        return false;
    return node == 0 || node_of(r) == node;
}

void record_store::push(const trace_record &r)
{
    if (size_ % chunk_size == 0 && size_ / chunk_size == chunks_.size())
        chunks_.emplace_back(new trace_record[chunk_size]);
    chunks_[size_ / chunk_size][size_ % chunk_size] = r;
    ++size_;
}

void record_store::drop_oldest_chunk()
{
    if (chunks_.empty())
        return;
    const size_t dropped = std::min(size_, chunk_size);
    chunks_.erase(chunks_.begin());
    size_ -= dropped;
}

void record_store::clear()
{
    chunks_.clear();
    size_ = 0;
}

trace_model::trace_model(size_t max_frames, QObject *parent)
    : QAbstractTableModel(parent), max_frames_(std::max(max_frames, 2 * record_store::chunk_size))
{
}

void trace_model::append(const std::vector<vci::tapped_frame> &frames)
{
    for (const vci::tapped_frame &f : frames) {
        if (f.msg.fd)
            continue;  // a classic record cannot hold it (the adapter counts it)
        trace_record r;
        r.t_us = f.t_us;
        r.id = f.msg.id;
        r.len = f.msg.len > 8 ? 8 : f.msg.len;
        r.flags = static_cast<uint8_t>((f.transmitted ? record_flag::transmitted : 0) |
                                       (f.msg.remote ? record_flag::remote : 0) | (f.error ? record_flag::error : 0) |
                                       (!f.error && (f.msg.extended || f.msg.id > 0x7FF) ? record_flag::extended : 0));
        for (int i = 0; i < 8; ++i)
            r.data[i] = f.msg.remote ? 0 : f.msg.data[i];
        keep(r);
    }
    extend_rows();
}

void trace_model::append(const std::vector<trace_record> &records)
{
    for (const trace_record &r : records)
        keep(r);
    extend_rows();
}

void trace_model::keep(trace_record r)
{
    if (store_.size() >= max_frames_) {
        // Rows index the store: they are rebuilt once the batch is in.
        store_.drop_oldest_chunk();
        rows_stale_ = true;
    }
    tracker_.observe(r);
    mappings_.observe(r, context_);
    nodes_.observe(r);
    id_summary &s =
        ids_[uint64_t(r.id) << 8 | (r.flags & (record_flag::transmitted | record_flag::error | record_flag::extended))];
    if (s.count > 0)
        s.period_us = r.t_us - s.last_us;
    s.id = r.id;
    s.flags = r.flags;
    ++s.count;
    s.last_us = r.t_us;
    s.last = r;
    store_.push(r);
}

void trace_model::extend_rows()
{
    if (paused_)
        return;
    if (rows_stale_) {
        rebuild_rows();
        return;
    }
    std::vector<uint32_t> added;
    for (size_t i = filtered_upto_; i < store_.size(); ++i)
        if (filter_.matches(store_.at(i)))
            added.push_back(static_cast<uint32_t>(i));
    filtered_upto_ = store_.size();
    if (added.empty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    rows_.insert(rows_.end(), added.begin(), added.end());
    endInsertRows();
}

void trace_model::rebuild_rows()
{
    beginResetModel();
    rows_.clear();
    for (size_t i = 0; i < store_.size(); ++i)
        if (filter_.matches(store_.at(i)))
            rows_.push_back(static_cast<uint32_t>(i));
    rows_.shrink_to_fit();
    filtered_upto_ = store_.size();
    rows_stale_ = false;
    endResetModel();
}

void trace_model::clear()
{
    beginResetModel();
    store_.clear();
    rows_.clear();
    rows_.shrink_to_fit();
    filtered_upto_ = 0;
    rows_stale_ = false;
    tracker_ = maker_request_tracker();
    mappings_ = pdo_mapping_tracker();
    context_.pdo_mappings.clear();
    nodes_.clear();
    ids_.clear();
    endResetModel();
}

void trace_model::set_filter(const trace_filter &filter)
{
    filter_ = filter;
    if (!paused_)
        rebuild_rows();
}

void trace_model::set_paused(bool paused)
{
    if (paused_ == paused)
        return;
    paused_ = paused;
    if (!paused_)
        rebuild_rows();
}

int trace_model::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int trace_model::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : column_count; }

QString trace_model::data_text(const trace_record &r)
{
    if (r.remote())
        return QStringLiteral("RTR");
    return hex::bytes(r.data, r.len > 8 ? 8 : r.len);
}

QString trace_model::id_text(const trace_record &r)
{
    if (r.error())
        return QStringLiteral("ERR");
    return hex::digits(r.id, r.extended() ? 8 : 3);
}

QVariant trace_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    // A meaning longer than its column is elided there; hovering shows it whole.
    const bool meaning_tip = role == Qt::ToolTipRole && index.column() == meaning_column;
    if (role != Qt::DisplayRole && !meaning_tip)
        return QVariant();
    const trace_record &r = row_record(index.row());
    switch (index.column()) {
    case time_column: return QString::number(static_cast<double>(r.t_us) / 1000.0, 'f', 3);
    case direction_column: return r.transmitted() ? QStringLiteral("Tx") : QStringLiteral("Rx");
    case id_column: return id_text(r);
    case dlc_column: return static_cast<int>(r.len);
    case data_column: return data_text(r);
    case meaning_column: return describe(r, context_);
    default: return QVariant();
    }
}

QVariant trace_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case time_column: return QCoreApplication::translate("Bus_trace", "时间(ms)\nTime (ms)");
    case direction_column: return QCoreApplication::translate("Bus_trace", "方向\nDir");
    case id_column: return QCoreApplication::translate("Bus_trace", "标识符\nID");
    case dlc_column: return QCoreApplication::translate("Bus_trace", "长度\nDLC");
    case data_column: return QCoreApplication::translate("Bus_trace", "数据\nData");
    case meaning_column: return QCoreApplication::translate("Bus_trace", "含义\nMeaning");
    default: return QVariant();
    }
}

}  // namespace trace
