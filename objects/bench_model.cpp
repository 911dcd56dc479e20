#include "objects/bench_model.h"

#include "base/language.h"
#include "can/vci/bus_tap.h"
#include "canopen/cia_objects.h"
#include "canopen/nmt_state.h"
#include "objects/bench_boot.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>

namespace objects {

bench_model::bench_model(QObject *parent) : QAbstractTableModel(parent)
{
    timer_.setInterval(watch_interval_ms);
    connect(&timer_, &QTimer::timeout, this, &bench_model::look);
}

bench_model::~bench_model() = default;

void bench_model::set_bench(const bench_file &bench)
{
    stop_watching();
    beginResetModel();
    bench_ = bench;
    rows_.assign(bench_.nodes.size(), row_state());
    endResetModel();
}

void bench_model::show_boot(const bench_boot &boot, int node_index)
{
    if (node_index < 0 || node_index >= static_cast<int>(rows_.size()) || node_index >= static_cast<int>(boot.nodes().size()))
        return;
    const node_boot &n = boot.nodes()[static_cast<size_t>(node_index)];
    row_state &r = rows_[static_cast<size_t>(node_index)];
    if (n.current >= 0) {
        r.st = state::booting;
        r.text = QStringLiteral("进行中/booting: %1").arg(boot_step_name(static_cast<boot_step>(n.current)));
    } else if (n.done()) {
        r.st = state::done;
        r.text = QStringLiteral("完成，运行/done, operational");
    } else if (n.failed()) {
        r.st = state::failed;
        for (int s = 0; s < boot_step_count; ++s)
            if (n.steps[s].result == step_result::failed) {
                r.text = QStringLiteral("失败/failed at %1: %2").arg(boot_step_name(static_cast<boot_step>(s)), n.steps[s].note);
                break;
            }
    } else if (n.started_s >= 0) {
        r.st = state::booting;
        r.text = QStringLiteral("待启动/waiting to start");
    } else {
        r.st = boot.finished() ? state::not_run : state::waiting;
        r.text = boot.finished() ? n.steps[0].note : QString();
    }
    if (boot.finished() && r.st == state::booting) {
        r.st = state::not_run;
        r.text = QStringLiteral("未完成/not done: %1").arg(n.steps[boot_step_count - 1].note);
    }
    changed(node_index);
}

void bench_model::watch(const bench_boot &boot)
{
    std::vector<uint32_t> ids;
    const int64_t now = vci::bus_tap::now_us();
    for (size_t i = 0; i < rows_.size() && i < boot.nodes().size(); ++i) {
        row_state &r = rows_[i];
        r.period_ms = boot.nodes()[i].done() ? bench_.nodes[i].heartbeat_ms : 0;
        r.last_us = now;  // the boot just heard it
        if (r.period_ms > 0)
            ids.push_back(canopen::error_control_base + static_cast<uint32_t>(bench_.nodes[i].node));
    }
    listener_ = ids.empty() ? nullptr : std::make_unique<vci::bus_tap::listener>(ids);
    if (listener_)
        timer_.start();
    else
        timer_.stop();
}

void bench_model::stop_watching()
{
    timer_.stop();
    listener_.reset();
    for (row_state &r : rows_)
        r.period_ms = 0;
}

void bench_model::look()
{
    if (!listener_)
        return;
    std::vector<vci::tapped_frame> frames;
    listener_->drain(frames);
    for (const vci::tapped_frame &t : frames) {
        const int row = row_of(static_cast<int>(t.msg.id - canopen::error_control_base));
        if (row < 0 || t.msg.len < 1 || t.msg.remote)
            continue;
        row_state &r = rows_[static_cast<size_t>(row)];
        if (r.period_ms <= 0)
            continue;
        r.last_us = t.t_us;
        if (r.st == state::lost) {
            r.st = r.before_lost;
            r.text = QStringLiteral("心跳恢复/heard again: %1").arg(canopen::nmt_state_text(t.msg.data[0] & 0x7F));
            changed(row);
            emit lost_changed(bench_.nodes[static_cast<size_t>(row)].node, false);
        }
    }
    const int64_t now = vci::bus_tap::now_us();
    for (size_t i = 0; i < rows_.size(); ++i) {
        row_state &r = rows_[i];
        if (r.period_ms <= 0 || r.st == state::lost || now - r.last_us <= int64_t(heartbeat_periods_waited) * r.period_ms * 1000)
            continue;
        r.before_lost = r.st;
        r.st = state::lost;
        r.text = QStringLiteral("丢失：%1 ms无心跳/lost: no heartbeat for %1 ms").arg((now - r.last_us) / 1000);
        changed(static_cast<int>(i));
        emit lost_changed(bench_.nodes[i].node, true);
    }
}

void bench_model::changed(int row) { emit dataChanged(index(row, 0), index(row, col_count - 1)); }

int bench_model::row_of(int node) const
{
    for (size_t i = 0; i < bench_.nodes.size(); ++i)
        if (bench_.nodes[i].node == node)
            return static_cast<int>(i);
    return -1;
}

bench_model::state bench_model::state_of(int node) const
{
    const int row = row_of(node);
    return row < 0 ? state::not_run : rows_[static_cast<size_t>(row)].st;
}

QString bench_model::state_text(int row) const
{
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].text : QString();
}

int bench_model::node_named(const QString &name) const
{
    for (const bench_node &n : bench_.nodes)
        if (n.name.compare(name, Qt::CaseInsensitive) == 0)
            return n.node;
    return 0;
}

int bench_model::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

int bench_model::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : col_count; }

QVariant bench_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const bench_node &n = bench_.nodes[static_cast<size_t>(index.row())];
    const row_state &r = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::ForegroundRole && index.column() == col_state) {
        if (r.st == state::failed || r.st == state::lost)
            return QBrush(QColor(200, 0, 0));
        if (r.st == state::done)
            return QBrush(QColor(0, 128, 0));
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (index.column() == col_identity && role == Qt::ToolTipRole)
        return identity_parts_text(n.expected.id, n.expected.known);
    switch (index.column()) {
    case col_node: return n.node;
    case col_name: return n.name;
    case col_identity: {
        // Vendor, product, revision, serial; "-" where the DCF leaves a part unchecked.
        QStringList parts;
        for (int i = 0; i < 4; ++i)
            parts << (n.expected.known[i] ? canopen::identity_text(n.expected.id.part[i]) : QStringLiteral("-"));
        return parts.join(QStringLiteral(" / "));
    }
    case col_dcf: return n.dcf_name;
    case col_state: return in_language(r.text);  // the state is kept in both languages
    default: return {};
    }
}

QVariant bench_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const headers[col_count] = {
        QT_TRANSLATE_NOOP("bench_model", "节点/Node"), QT_TRANSLATE_NOOP("bench_model", "名称/Name"),
        QT_TRANSLATE_NOOP("bench_model", "应有身份/Expected identity (vendor / product / revision / serial)"), QT_TRANSLATE_NOOP("bench_model", "DCF"),
        QT_TRANSLATE_NOOP("bench_model", "状态/State")};
    return section >= 0 && section < col_count ? QCoreApplication::translate("bench_model", headers[section]) : QVariant();
}

}  // namespace objects
