#include "trace/trace_model.h"

#include "base/hex.h"
#include "can/vci/bus_tap.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstring>

namespace trace {

bool trace_filter::matches(const trace_record &r) const
{
    if ((r.id & mask) != (id & mask))
        return false;
    if (!(kinds & kind_bit(classify(r))))
        return false;
    return node == 0 || node_of(r) == node;
}

trace_model::trace_model(size_t cap, QObject *parent) : QAbstractTableModel(parent), log_(cap) {}

void trace_model::append(const std::vector<vci::tapped_frame> &frames)
{
    for (const vci::tapped_frame &f : frames) {
        trace_record r;
        frame_detail detail;
        r.t_us = f.t_us;
        r.id = f.msg.id;
        r.len = f.msg.len > (f.msg.fd ? 64 : 8) ? (f.msg.fd ? 64 : 8) : f.msg.len;
        r.flags = static_cast<uint8_t>((f.transmitted ? record_flag::transmitted : 0) |
                                       (f.msg.remote ? record_flag::remote : 0) | (f.error ? record_flag::error : 0) |
                                       (f.msg.fd ? record_flag::fd : 0) |
                                       (!f.error && (f.msg.extended || f.msg.id > 0x7FF) ? record_flag::extended : 0));
        if (!f.msg.remote)
            std::memcpy(r.data, f.msg.data, 8);
        if (f.msg.fd && r.len > 8) {
            std::memcpy(detail.tail, f.msg.data + 8, r.len - 8u);
            r.flags |= record_flag::detail;
        }
        if (f.iface >= tap_interfaces_.size())
            tap_interfaces_.resize(f.iface + 1u, -1);
        int &iface = tap_interfaces_[f.iface];
        if (iface < 0)
            iface = log_.intern(vci::bus_tap::interface_name(f.iface));
        observe(r, static_cast<uint16_t>(iface));
        log_.push(r, &detail, static_cast<uint16_t>(iface));
    }
    shown_ = log_.size();
    extend_rows();
}

void trace_model::append(const std::vector<trace_record> &records)
{
    for (trace_record r : records) {
        observe(r, 0);
        log_.push(r);
    }
    shown_ = log_.size();
    extend_rows();
}

void trace_model::observe(trace_record &r, uint16_t iface)
{
    tracker_.observe(r, iface);
    mappings_.observe(r, context_, iface);
    nodes_.observe(r, iface);
}

void trace_model::forget_observations()
{
    tracker_ = maker_request_tracker();
    mappings_ = pdo_mapping_tracker();
    context_.pdo_mappings.clear();
    context_.modes.clear();
    nodes_.clear();
    ids_.clear();
}

void trace_model::load(frame_log &&log)
{
    beginResetModel();
    log_ = std::move(log);
    forget_observations();
    for (size_t i = 0; i < log_.size(); ++i)
        observe(log_.at(i), log_.interface_index(i));
    shown_ = log_.size();
    dropped_seen_ = log_.dropped();
    rows_.clear();
    filtered_upto_ = 0;
    endResetModel();
    rebuild_rows();
}

void trace_model::rewind()
{
    beginResetModel();
    forget_observations();
    shown_ = 0;
    rows_.clear();
    filtered_upto_ = 0;
    endResetModel();
}

void trace_model::advance(size_t frames)
{
    frames = std::min(frames, log_.size());
    for (size_t i = shown_; i < frames; ++i) {
        trace_record r = log_.at(i);
        observe(r, log_.interface_index(i));
    }
    shown_ = std::max(shown_, frames);
    extend_rows();
}

void trace_model::count_identifier(const trace_record &r)
{
    constexpr uint8_t kind = record_flag::transmitted | record_flag::error | record_flag::extended | record_flag::fd;
    id_summary &s = ids_[uint64_t(r.id) << 8 | (r.flags & kind)];
    if (s.count == 0)
        s.first_us = r.t_us;
    ++s.count;
    s.last_us = r.t_us;
    s.last = r;
}

void trace_model::extend_rows()
{
    if (log_.dropped() != dropped_seen_) {
        // The oldest frames went: rows of theirs go, the others move down.
        const size_t gone = static_cast<size_t>(log_.dropped() - dropped_seen_);
        dropped_seen_ = log_.dropped();
        const auto kept = std::lower_bound(rows_.begin(), rows_.end(), gone);
        if (kept != rows_.begin()) {
            beginRemoveRows(QModelIndex(), 0, static_cast<int>(kept - rows_.begin()) - 1);
            rows_.erase(rows_.begin(), kept);
            endRemoveRows();
        }
        for (uint32_t &row : rows_)
            row -= static_cast<uint32_t>(gone);
        filtered_upto_ -= std::min(filtered_upto_, gone);
        if (!rows_.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, column_count - 1));
    }
    if (paused_)
        return;
    std::vector<uint32_t> added;
    for (size_t i = filtered_upto_; i < shown_; ++i) {
        const trace_record &r = log_.at(i);
        if (shows(i)) {
            added.push_back(static_cast<uint32_t>(i));
            count_identifier(r);
        }
    }
    filtered_upto_ = shown_;
    if (added.empty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    rows_.insert(rows_.end(), added.begin(), added.end());
    endInsertRows();
}

bool trace_model::shows(size_t i) const
{
    return filter_.matches(log_.at(i)) && (filter_.iface.isEmpty() || log_.interface_of(i) == filter_.iface);
}

void trace_model::rebuild_rows()
{
    beginResetModel();
    rows_.clear();
    ids_.clear();
    for (size_t i = 0; i < shown_; ++i) {
        const trace_record &r = log_.at(i);
        if (shows(i)) {
            rows_.push_back(static_cast<uint32_t>(i));
            count_identifier(r);
        }
    }
    rows_.shrink_to_fit();
    filtered_upto_ = shown_;
    dropped_seen_ = log_.dropped();
    endResetModel();
}

void trace_model::clear()
{
    beginResetModel();
    log_.clear();
    shown_ = 0;
    dropped_seen_ = 0;
    rows_.clear();
    rows_.shrink_to_fit();
    filtered_upto_ = 0;
    forget_observations();
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

void trace_model::set_cap(size_t cap)
{
    log_.set_cap(cap);
    shown_ = std::min(shown_, log_.size());
    extend_rows();
}

void trace_model::set_relative_time(bool relative)
{
    if (relative_time_ == relative)
        return;
    relative_time_ = relative;
    emit headerDataChanged(Qt::Horizontal, time_column, time_column);
    if (!rows_.empty())
        emit dataChanged(index(0, time_column), index(rowCount() - 1, time_column));
}

int trace_model::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int trace_model::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : column_count; }

QString trace_model::data_text(const trace_record &r, const frame_detail *detail)
{
    if (r.remote())
        return QStringLiteral("RTR");
    uint8_t bytes[64];
    const int shown = detail ? std::min<int>(r.len, 64) : std::min<int>(r.len, 8);
    std::memcpy(bytes, r.data, 8);
    if (shown > 8)
        std::memcpy(bytes + 8, detail->tail, static_cast<size_t>(shown - 8));
    return shown < r.len ? hex::bytes(bytes, shown) + QStringLiteral(" …") : hex::bytes(bytes, shown);
}

QString trace_model::id_text(const trace_record &r)
{
    if (r.error())
        return QStringLiteral("ERR");
    return hex::digits(r.id, r.extended() ? 8 : 3);
}

QString trace_model::time_of_day(int64_t wall_us)
{
    const int64_t ms = wall_us >= 0 ? wall_us / 1000 : -((-wall_us + 999) / 1000);
    const int64_t us = wall_us - ms * 1000;
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss.zzz")) +
           QStringLiteral("%1").arg(us, 3, 10, QLatin1Char('0'));
}

QVariant trace_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    // A meaning or data longer than its column is elided there; hovering shows it whole.
    const bool tip = role == Qt::ToolTipRole && index.column() == meaning_column;
    if (role != Qt::DisplayRole && !tip)
        return QVariant();
    const size_t at = rows_[static_cast<size_t>(index.row())];
    const trace_record &r = log_.at(at);
    switch (index.column()) {
    case time_column:
        return relative_time_ ? QString::number(static_cast<double>(r.t_us) / 1e6, 'f', 6)
                              : time_of_day(log_.epoch_us + r.t_us);
    case direction_column: return r.transmitted() ? QStringLiteral("Tx") : QStringLiteral("Rx");
    case interface_column: return log_.interface_of(at);
    case id_column: return id_text(r);
    case dlc_column: return static_cast<int>(r.len);
    case data_column: return data_text(r, log_.detail(at));
    case meaning_column:
        if (r.fd()) {
            const frame_detail *d = log_.detail(at);
            return d && (d->code & 1) ? QStringLiteral("CAN FD, bit rate switch") : QStringLiteral("CAN FD");
        }
        return describe(r, context_, log_.interface_index(at));
    default: return QVariant();
    }
}

QVariant trace_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case time_column:
        return relative_time_ ? QCoreApplication::translate("Bus_trace", "时间(s)\nTime (s)")
                              : QCoreApplication::translate("Bus_trace", "时间\nTime");
    case direction_column: return QCoreApplication::translate("Bus_trace", "方向\nDir");
    case interface_column: return QCoreApplication::translate("Bus_trace", "接口\nInterface");
    case id_column: return QCoreApplication::translate("Bus_trace", "标识符\nID");
    case dlc_column: return QCoreApplication::translate("Bus_trace", "长度\nDLC");
    case data_column: return QCoreApplication::translate("Bus_trace", "数据\nData");
    case meaning_column: return QCoreApplication::translate("Bus_trace", "含义\nMeaning");
    default: return QVariant();
    }
}

}  // namespace trace
