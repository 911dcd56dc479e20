#include "objects/bench_save.h"

#include "canopen/cia_objects.h"
#include "objects/bench.h"
#include "objects/dcf_config.h"
#include "objects/od_actions.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace objects {
namespace {

// What a boot can put back: values the drive lets be written (commands left out), and the
// identity, which the boot checks.
void keep_configuration(eds_document &d)
{
    for (od_object &o : d.objects)
        for (od_entry &e : o.entries) {
            const bool identity = e.index == canopen::identity_index && e.sub >= 1 && e.sub <= 4;
            if (!identity && (!access_writable(e.access) || is_command_object(e.index)))
                e.parameter_value.clear();
            if (e.index == 0x1017 && e.sub == 0 && e.parameter_value.trimmed() == QLatin1String("0"))
                e.parameter_value = QString::number(saved_heartbeat_ms);
        }
}

}  // namespace

bench_save::bench_save(const eds_document &data_sheet, const QString &cpj_path, int bit_rate_kbps, const discovery_bus &wire,
                       std::function<void(const bench_save_result &, bool)> end)
    : sheet_(data_sheet), path_(cpj_path), kbps_(bit_rate_kbps), wire_(wire), end_(std::move(end))
{
    // Only what is read from each node goes into its DCF, nothing the sheet held before.
    for (od_object &o : sheet_.objects)
        for (od_entry &e : o.entries) {
            e.parameter_value.clear();
            e.differs = false;
        }
}

bench_save::~bench_save() = default;

int bench_save::total() const
{
    int entries = 0;
    for (const od_object &o : sheet_.objects)
        entries += static_cast<int>(o.entries.size());
    return std::max(steps_ + 1, 1 + static_cast<int>(discovered_ ? nodes_.size() : 4) * entries);
}

bool bench_save::step()
{
    ++steps_;
    if (!discovered_) {
        if (!sub_)
            sub_ = std::make_unique<node_discovery>(wire_);
        if (sub_->step())
            return true;
        for (const found_node &n : static_cast<const node_discovery &>(*sub_).nodes())
            if (n.answers_sdo)
                nodes_.push_back(n.node);
        sub_.reset();
        discovered_ = true;
        read_.assign(nodes_.size(), sheet_);
        if (nodes_.empty()) {
            result_.error = QStringLiteral("没有应答SDO的节点/no node answers SDO");
            return false;
        }
    }
    if (!sub_) {
        const int node = nodes_[at_];
        sub_ = read_all_job(read_[at_], wire_.link(node), node, [this, node](const read_all_summary &s) {
            if (s.no_answer)
                result_.refused << QStringLiteral("节点%1无应答/node %1 fell silent").arg(node);
            else if (s.refused > 0)
                result_.refused << QStringLiteral("节点%1: %2个对象被拒绝/node %1: %2 objects refused").arg(node).arg(s.refused);
        });
    }
    if (sub_->step())
        return true;
    sub_->ended(false);
    sub_.reset();
    if (++at_ < nodes_.size())
        return true;
    write_files();
    return false;
}

void bench_save::cancel()
{
    if (sub_)
        sub_->cancel();
    sub_.reset();
    cancelled_ = true;
}

void bench_save::ended(bool cancelled)
{
    if (end_)
        end_(result_, cancelled || cancelled_);
}

void bench_save::write_files()
{
    const QFileInfo where(path_);
    cpj_network net;
    net.net_name = where.completeBaseName();
    std::vector<std::pair<QString, QByteArray>> files;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        eds_document &d = read_[i];
        const int node = nodes_[i];
        dcf_device device = device_of_values(d, node);
        device.node_name = QStringLiteral("J%1").arg(node);
        device.baudrate_kbps = kbps_;
        keep_configuration(d);
        d.node_id = node;
        const QString name = dcf_file_name(device.node_name, node);
        files.emplace_back(name, write_dcf(d, device, name));
        net.nodes.push_back({node, true, device.node_name, name, false, 0});
    }
    files.emplace(files.begin(), where.fileName(), write_cpj(net));
    // The DCFs first, the node list last: a list on disk never names a DCF that is not there.
    for (size_t i = 1; i <= files.size(); ++i) {
        const auto &f = files[i % files.size()];
        QSaveFile out(where.dir().filePath(f.first));
        if (!out.open(QIODevice::WriteOnly) || out.write(f.second) != f.second.size() || !out.commit()) {
            result_.error = QStringLiteral("无法写入/Cannot write %1: %2").arg(out.fileName(), out.errorString());
            return;
        }
        result_.files << out.fileName();
    }
    result_.files.move(result_.files.size() - 1, 0);
    result_.written = true;
    result_.nodes = static_cast<int>(nodes_.size());
}

}  // namespace objects
