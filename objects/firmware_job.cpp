#include "objects/firmware_job.h"

#include "base/checksums.h"
#include "base/hex.h"
#include "base/text_safety.h"
#include "canopen/cia_objects.h"


namespace objects {
namespace {

constexpr uint16_t program_data = 0x1F50;
constexpr uint16_t program_control = 0x1F51;
constexpr uint16_t program_identification = 0x1F56;
constexpr uint16_t flash_status = 0x1F57;
constexpr uint16_t software_version = 0x100A;
constexpr uint8_t control_stop = 0, control_start = 1, control_clear = 3;
constexpr uint32_t flash_busy = 0x01;
// A flash of 1 MiB at a slow drive's pace; a drive busy longer than this is reported.
constexpr int flash_limit_ms = 120000;
constexpr int flash_poll_ms = 50;
constexpr int boot_limit_ms = 10000;

uint32_t u32_of(const QByteArray &b)
{
    uint32_t v = 0;
    for (int i = 0; i < b.size() && i < 4; ++i)
        v |= uint32_t(uint8_t(b[i])) << (8 * i);
    return v;
}

}  // namespace

QString firmware_result_text(firmware_report::result r)
{
    switch (r) {
    case firmware_report::result::not_reached: return QStringLiteral("未处理/not reached");
    case firmware_report::result::updated: return QStringLiteral("已更新/updated");
    case firmware_report::result::refused: return QStringLiteral("已拒绝/refused");
    case firmware_report::result::failed: return QStringLiteral("失败/failed");
    case firmware_report::result::no_answer: return QStringLiteral("无应答/no answer");
    case firmware_report::result::bus_lost: return QStringLiteral("总线断开/bus lost");
    case firmware_report::result::cancelled: return QStringLiteral("已取消/cancelled");
    }
    return QString();
}

QString firmware_report_csv(const firmware_image &image, const std::vector<firmware_report> &rows)
{
    QString out = QStringLiteral("image,%1,CRC-32,%2\n")
                      .arg(text_safety::csv_field(image.file), hex::prefixed(image.crc, 8));
    out += QStringLiteral("node,product,identification before,identification after,version before,version after,"
                          "started,ended,result,note\n");
    for (const firmware_report &r : rows) {
        const QStringList cells = {QString::number(r.node), r.product, r.before_id, r.after_id, r.before_version,
                                   r.after_version,
                                   r.started.isValid() ? r.started.toString(Qt::ISODateWithMs) : QString(),
                                   r.ended.isValid() ? r.ended.toString(Qt::ISODateWithMs) : QString(),
                                   firmware_result_text(r.outcome), r.note};
        QStringList fields;
        for (const QString &c : cells)
            fields << text_safety::csv_field(c);
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

firmware_job::firmware_job(const firmware_image &image, const std::vector<int> &nodes, const dcf_wire &wire, bool force,
                           std::function<void(const firmware_job &, bool)> end)
    : image_(image), nodes_(nodes), wire_(wire), force_(force), end_(std::move(end))
{
    for (int n : nodes_) {
        firmware_report r;
        r.node = n;
        reports_.push_back(r);
    }
    if (!nodes_.empty())
        begin_node();
}

int firmware_job::done() const
{
    const int size = static_cast<int>(image_.data.size());
    int bytes = static_cast<int>(at_) * size;
    if (at_ < nodes_.size() && phase_ > phase::data)
        bytes += size;
    else if (at_ < nodes_.size() && phase_ == phase::data && transfer_)
        bytes += transfer_->bytes_done();
    return bytes;
}

int firmware_job::total() const { return static_cast<int>(nodes_.size()) * static_cast<int>(image_.data.size()); }

int firmware_job::updated() const
{
    int n = 0;
    for (const firmware_report &r : reports_)
        n += r.outcome == firmware_report::result::updated ? 1 : 0;
    return n;
}

void firmware_job::begin_node()
{
    phase_ = phase::product;
    transfer_.reset();
    cleared_ = false;
    stopped_ = false;
    reports_[at_].started = QDateTime::currentDateTime();
}

void firmware_job::next(phase p)
{
    phase_ = p;
    waited_.start();
    since_poll_.invalidate();
}

void firmware_job::finish_node(firmware_report::result r, const QString &note)
{
    firmware_report &rep = reports_[at_];
    rep.outcome = r;
    rep.note = note;
    rep.ended = QDateTime::currentDateTime();
    transfer_.reset();
    ++at_;
    if (at_ < nodes_.size() && !stop_ && !lost_)
        begin_node();
}

QString firmware_job::left_with() const
{
    if (cleared_)
        return QStringLiteral("节点没有程序/the node is left without a program");
    if (stopped_)
        return QStringLiteral("程序已停止/the node's program is left stopped");
    return QStringLiteral("节点未改变/the node is left unchanged");
}

void firmware_job::step_failed(const QString &what)
{
    if (outcome_.unanswered() && wire_.bus_lost && wire_.bus_lost()) {
        lost_ = true;
        finish_node(firmware_report::result::bus_lost, left_with());
        return;
    }
    const QString why = outcome_.unanswered() ? QStringLiteral("无应答/no answer") : canopen::abort_text(outcome_.abort);
    finish_node(outcome_.unanswered() ? firmware_report::result::no_answer : firmware_report::result::failed,
                QStringLiteral("%1: %2; %3").arg(what, why, left_with()));
}

bool firmware_job::run_transfer(const canopen::sdo_transfer &start)
{
    return canopen::step_transfer(wire_.link(node()), transfer_, start, &outcome_);
}

bool firmware_job::step()
{
    if (at_ >= nodes_.size() || lost_ || !reports_[at_].started.isValid())
        return false;
    firmware_report &rep = reports_[at_];
    const auto write_u8 = [](uint16_t index, uint8_t value) {
        return canopen::sdo_transfer::download(index, 1, QByteArray(1, static_cast<char>(value)));
    };
    switch (phase_) {
    case phase::product:
        if (!run_transfer(canopen::sdo_transfer::upload(canopen::identity_index, canopen::identity_product)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("读取产品代码/reading the product (0x1018:2)"));
            break;
        }
        rep.product = canopen::identity_text(outcome_.data);
        next(phase::before_id);
        break;
    case phase::before_id:
        if (!run_transfer(canopen::sdo_transfer::upload(program_identification, 1)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("读取程序标识/reading the program identification (0x1F56:1)"));
            break;
        }
        rep.before_id = hex::prefixed(u32_of(outcome_.data), 8);
        next(phase::before_version);
        break;
    case phase::before_version:
        if (!run_transfer(canopen::sdo_transfer::upload(software_version, 0)))
            return true;
        rep.before_version = outcome_.ok ? text_safety::safe_text(QString::fromLatin1(outcome_.data)) : QString();
        if (!force_ && !image_.product_known) {
            finish_node(firmware_report::result::refused, QStringLiteral("映像产品未知/the image's product is unknown "
                                                                         "(no sidecar): not sent without force"));
            break;
        }
        if (!force_ && hex::prefixed(image_.product, 8) != rep.product) {
            finish_node(firmware_report::result::refused,
                        QStringLiteral("映像用于产品%1/the image is for product %1, the node is %2: not sent without force")
                            .arg(hex::prefixed(image_.product, 8), rep.product));
            break;
        }
        next(phase::pre_operational);
        break;
    case phase::pre_operational:
        if (wire_.pre_operational)
            wire_.pre_operational(node());
        if (wire_.watch)
            wire_.watch->commanded_pre_operational(node());
        next(phase::stop);
        break;
    case phase::stop:
        if (!run_transfer(write_u8(program_control, control_stop)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("停止程序/stopping the program (0x1F51:1 = 0)"));
            break;
        }
        stopped_ = true;
        next(phase::clear);
        break;
    case phase::clear:
        if (!run_transfer(write_u8(program_control, control_clear)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("清除程序/clearing the program (0x1F51:1 = 3)"));
            break;
        }
        cleared_ = true;
        next(phase::data);
        break;
    case phase::data:
        if (!run_transfer(canopen::sdo_transfer::block_download(program_data, 1, image_.data)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("下载程序/downloading the image (0x1F50:1)"));
            break;
        }
        next(phase::flash);
        break;
    case phase::flash: {
        if (!transfer_ && since_poll_.isValid() && since_poll_.elapsed() < flash_poll_ms)
            return true;
        if (!run_transfer(canopen::sdo_transfer::upload(flash_status, 1)))
            return true;
        since_poll_.start();
        if (!outcome_.ok) {
            step_failed(QStringLiteral("读取烧写状态/reading the flash status (0x1F57:1)"));
            break;
        }
        const uint32_t status = u32_of(outcome_.data);
        if (status & ~flash_busy) {
            finish_node(firmware_report::result::failed, QStringLiteral("烧写错误/flash error %1; %2")
                                                             .arg(status >> 1 & 0x7F)
                                                             .arg(left_with()));
            break;
        }
        if (!(status & flash_busy)) {
            next(phase::check);
            break;
        }
        if (waited_.elapsed() > flash_limit_ms)
            finish_node(firmware_report::result::failed,
                        QStringLiteral("烧写超时/still flashing after %1 s; %2").arg(flash_limit_ms / 1000).arg(left_with()));
        break;
    }
    case phase::check:
        if (!run_transfer(canopen::sdo_transfer::upload(program_identification, 1)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("读取程序标识/reading the program identification (0x1F56:1)"));
            break;
        }
        if (u32_of(outcome_.data) != image_.crc) {
            rep.after_id = hex::prefixed(u32_of(outcome_.data), 8);
            finish_node(firmware_report::result::failed,
                        QStringLiteral("程序标识%1不是映像的CRC %2/identification %1 is not the image's CRC %2: not started; %3")
                            .arg(rep.after_id, hex::prefixed(image_.crc, 8), left_with()));
            break;
        }
        // The boot-up that follows the start is the one counted.
        if (wire_.watch) {
            wire_.watch->look();
            reboots_before_ = wire_.watch->reboots(node());
        }
        next(phase::start);
        break;
    case phase::start:
        if (!run_transfer(write_u8(program_control, control_start)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("启动程序/starting the program (0x1F51:1 = 1)"));
            break;
        }
        cleared_ = stopped_ = false;
        next(phase::boot);
        break;
    case phase::boot:
        if (wire_.watch) {
            wire_.watch->look();
            if (wire_.watch->reboots(node()) == reboots_before_) {
                if (waited_.elapsed() > boot_limit_ms)
                    finish_node(firmware_report::result::failed,
                                QStringLiteral("启动后无上线报文/no boot-up within %1 s of the start").arg(boot_limit_ms / 1000));
                return true;
            }
        }
        next(phase::after_product);
        break;
    case phase::after_product:
        if (!run_transfer(canopen::sdo_transfer::upload(canopen::identity_index, canopen::identity_product)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("启动后读取/reading the product after the start"));
            break;
        }
        rep.product = canopen::identity_text(outcome_.data);
        next(phase::after_id);
        break;
    case phase::after_id:
        if (!run_transfer(canopen::sdo_transfer::upload(program_identification, 1)))
            return true;
        if (!outcome_.ok) {
            step_failed(QStringLiteral("启动后读取/reading the identification after the start"));
            break;
        }
        rep.after_id = hex::prefixed(u32_of(outcome_.data), 8);
        next(phase::after_version);
        break;
    case phase::after_version: {
        if (!run_transfer(canopen::sdo_transfer::upload(software_version, 0)))
            return true;
        rep.after_version = outcome_.ok ? text_safety::safe_text(QString::fromLatin1(outcome_.data)) : QString();
        const bool id_ok = rep.after_id == hex::prefixed(image_.crc, 8);
        const bool version_ok = image_.version.isEmpty() || rep.after_version == image_.version;
        if (id_ok && version_ok)
            finish_node(firmware_report::result::updated);
        else
            finish_node(firmware_report::result::failed,
                        id_ok ? QStringLiteral("版本%1不是%2/runs version %1, not %2").arg(rep.after_version, image_.version)
                              : QStringLiteral("启动后程序标识不符/identification after the start is %1").arg(rep.after_id));
        break;
    }
    }
    return at_ < nodes_.size() && !lost_ && reports_[at_].started.isValid();
}

void firmware_job::cancel()
{
    if (at_ >= nodes_.size())
        return;
    if (transfer_)
        canopen::cancel_sdo(wire_.link(node()), *transfer_);
    transfer_.reset();
    if (reports_[at_].started.isValid())
        finish_node(firmware_report::result::cancelled,
                    phase_ == phase::flash ? QStringLiteral("烧写中取消/cancelled while flashing: not confirmed; %1").arg(left_with())
                                           : left_with());
    at_ = nodes_.size();
}

void firmware_job::ended(bool cancelled)
{
    if (end_)
        end_(*this, cancelled);
}

}  // namespace objects
