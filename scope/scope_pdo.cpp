#include "scope/scope_pdo.h"

#include "base/drive_journal.h"
#include "base/hex.h"
#include "canopen/cia402.h"
#include "canopen/sdo_abort.h"
#include "scope/scope_source.h"

#include <algorithm>

namespace scope {
namespace {

constexpr uint32_t cob_no_rtr = 0x40000000u;
constexpr uint32_t cob_identifier = 0x7FFu;


QString journal_kind(int n) { return QStringLiteral("tpdo%1").arg(n); }

// The value of sub s (from 1) of the mapping as read; false beyond what was read.
bool mapped_sub(const tpdo_params &p, size_t s, uint32_t *value)
{
    if (s >= 1 && s <= p.map.size()) {
        *value = p.map[s - 1];
        return true;
    }
    const size_t k = s - p.map.size() - 1;
    if (s > p.map.size() && k < p.beyond.size()) {
        *value = p.beyond[k];
        return true;
    }
    return false;
}

}  // namespace

QString tpdo_name(int n)
{
    return QStringLiteral("TPDO %1 (0x%2/0x%3)").arg(n).arg(hex::digits(tpdo_comm_index(n), 4), hex::digits(tpdo_map_index(n), 4));
}

drive_journal::entry journal_entry(int node, const tpdo_params &found, bool mapping, int bus)
{
    drive_journal::entry e{bus, node, journal_kind(found.number), tpdo_name(found.number), {}};
    for (const sdo_write &w : restore_writes(found, mapping))
        e.restore.push_back({w.index, w.sub, w.value, w.size, w.may_fail});
    return e;
}

std::optional<tpdo_params> found_in_journal(int node, int n, int bus)
{
    const std::optional<drive_journal::entry> e = drive_journal::find(bus, node, journal_kind(n));
    if (!e)
        return std::nullopt;
    tpdo_params p;
    p.number = n;
    for (const drive_journal::write &w : e->restore) {
        if (w.index == tpdo_comm_index(n)) {
            switch (w.sub) {
            // Not valid first, then, when it was valid, the COB-ID as found: the last one is it.
            case 1: p.cob_id = w.value; break;
            case 2: p.type = static_cast<uint8_t>(w.value); break;
            case 3:
                p.has_inhibit = true;
                p.inhibit_100us = static_cast<uint16_t>(w.value);
                break;
            case 5: p.event_ms = static_cast<uint16_t>(w.value); break;
            default: break;
            }
        } else if (w.index == tpdo_map_index(n) && w.sub != 0) {
            (w.may_fail ? p.beyond : p.map).push_back(w.value);
        }
    }
    return p;
}

tpdo_params with_journal(const tpdo_params &present, const tpdo_params &journalled, size_t entries_needed)
{
    tpdo_params p = journalled;
    // Entries the earlier set-up did not reach are still as found on the drive.
    for (size_t s = p.map.size() + p.beyond.size() + 1; s <= entries_needed; ++s) {
        uint32_t v = 0;
        if (!mapped_sub(present, s, &v))
            break;
        p.beyond.push_back(v);
    }
    return p;
}

tpdo_params event_driven(const tpdo_params &found, const std::vector<uint32_t> &entries, int period_ms, int node)
{
    tpdo_params w = found;
    uint32_t id = found.cob_id & cob_identifier;
    if (id == 0)
        id = static_cast<uint32_t>(0x180 + 0x100 * (found.number - 1) + node);
    w.cob_id = (found.cob_id & cob_no_rtr) | id;
    w.type = event_driven_type;
    // The event timer alone paces the PDO. An inhibit time of a period would make every late
    // transmission late the next one too; half a period only holds a drive whose type 254 also
    // sends on every change of the values to two frames a period.
    w.inhibit_100us = static_cast<uint16_t>(period_ms * 5);
    w.event_ms = static_cast<uint16_t>(period_ms);
    w.map = entries;
    w.beyond.clear();
    return w;
}

std::vector<sdo_write> setup_writes(const tpdo_params &found, const tpdo_params &wanted)
{
    const uint16_t comm = tpdo_comm_index(found.number);
    const uint16_t map = tpdo_map_index(found.number);
    std::vector<sdo_write> w;
    if (!(found.cob_id & cob_not_valid))
        w.push_back({comm, 1, found.cob_id | cob_not_valid, 4});
    w.push_back({comm, 2, wanted.type, 1});
    if (found.has_inhibit)
        w.push_back({comm, 3, wanted.inhibit_100us, 2});
    w.push_back({comm, 5, wanted.event_ms, 2});
    w.push_back({map, 0, 0, 1});
    for (size_t k = 0; k < wanted.map.size(); ++k)
        w.push_back({map, static_cast<uint8_t>(k + 1), wanted.map[k], 4});
    w.push_back({map, 0, static_cast<uint32_t>(wanted.map.size()), 1});
    w.push_back({comm, 1, wanted.cob_id, 4});
    return w;
}

std::vector<sdo_write> restore_writes(const tpdo_params &found, bool mapping)
{
    const uint16_t comm = tpdo_comm_index(found.number);
    const uint16_t map = tpdo_map_index(found.number);
    std::vector<sdo_write> w;
    w.push_back({comm, 1, found.cob_id | cob_not_valid, 4});
    if (mapping) {
        w.push_back({map, 0, 0, 1});
        uint8_t sub = 1;
        for (uint32_t e : found.map)
            w.push_back({map, sub++, e, 4});
        for (uint32_t e : found.beyond)
            w.push_back({map, sub++, e, 4, true});
        w.push_back({map, 0, static_cast<uint32_t>(found.map.size()), 1});
    }
    w.push_back({comm, 2, found.type, 1});
    if (found.has_inhibit)
        w.push_back({comm, 3, found.inhibit_100us, 2});
    w.push_back({comm, 5, found.event_ms, 2});
    if (!(found.cob_id & cob_not_valid))
        w.push_back({comm, 1, found.cob_id, 4});
    return w;
}

bool refused_in_state(uint32_t code)
{
    // General parameter and internal incompatibility, and data that cannot be transferred or
    // stored (at all, under local control, in the present device state).
    namespace code_of = canopen::abort_code;
    return code == code_of::parameter_incompatible || code == code_of::internal_incompatible
           || code == code_of::cannot_store || code == code_of::local_control || code == code_of::device_state;
}

pdo_setup::pdo_setup(const canopen::sdo_link &link, int node, const channel_list &channels, channel_mask wanted,
                     int period_ms, int bus)
    : link_(link), node_(node), bus_(bus), channels_(channels), wanted_mask_(wanted), period_ms_(period_ms)
{
}

bool pdo_setup::upload(uint16_t index, uint8_t sub, uint32_t *value, uint32_t *abort)
{
    if (!proceed()) {
        *abort = 0;
        return false;
    }
    const canopen::sdo_outcome o = canopen::read_object(link_, index, sub);
    *abort = o.abort;
    if (o.ok)
        *value = little_endian(o.data);
    return o.ok;
}

bool pdo_setup::read_tpdo(int n, size_t entries_needed, tpdo_params *out, uint32_t *abort)
{
    const uint16_t comm = tpdo_comm_index(n);
    const uint16_t map = tpdo_map_index(n);
    tpdo_params p;
    p.number = n;
    uint32_t v = 0;
    if (!upload(comm, 1, &p.cob_id, abort) || !upload(comm, 2, &v, abort))
        return false;
    p.type = static_cast<uint8_t>(v);
    uint32_t ignored = 0;
    p.has_inhibit = upload(comm, 3, &v, &ignored);
    p.inhibit_100us = static_cast<uint16_t>(p.has_inhibit ? v : 0);
    // Without an event timer an event-driven PDO waits for changes: no use for sampling.
    if (!upload(comm, 5, &v, abort))
        return false;
    p.event_ms = static_cast<uint16_t>(v);
    uint32_t count = 0;
    if (!upload(map, 0, &count, abort))
        return false;
    // A count no mapping has: this PDO cannot be borrowed, which a zero abort would pass off as
    // a cancel.
    if (count > 64) {
        *abort = canopen::abort_code::invalid_value;
        return false;
    }
    for (uint32_t k = 1; k <= count; ++k) {
        if (!upload(map, static_cast<uint8_t>(k), &v, abort))
            return false;
        p.map.push_back(v);
    }
    for (size_t k = count + 1; k <= entries_needed; ++k) {
        if (!upload(map, static_cast<uint8_t>(k), &v, &ignored))
            break;
        p.beyond.push_back(v);
    }
    *out = p;
    return true;
}

bool pdo_setup::prepare(QString *why)
{
    packing_ = pack_channels(channels_, wanted_mask_);
    mapped_ = 0;
    for (const pdo_field &f : packing_.fields)
        mapped_ = static_cast<channel_mask>(mapped_ | bit(f.channel));
    if (packing_.entries.empty()) {
        *why = QStringLiteral("没有可映射的通道/No channel to map into a PDO");
        return false;
    }
    found_.clear();
    for (const pdo_field &f : packing_.fields) {
        if (channels_[f.channel].kind == role::current && !rated_known_) {
            uint32_t rated = 0, abort = 0;
            rated_known_ = upload(canopen::object::motor_rated_current, 0, &rated, &abort);
            rated_ma_ = static_cast<int32_t>(rated);
        }
    }
    for (int n : borrowable_tpdos) {
        if (found_.size() == packing_.entries.size())
            break;
        tpdo_params p;
        uint32_t abort = 0;
        const size_t needed = packing_.entries[found_.size()].size();
        if (read_tpdo(n, needed, &p, &abort)) {
            // A PDO an earlier run borrowed and never put back: what that run found is what goes back.
            if (const std::optional<tpdo_params> left = found_in_journal(node_, n, bus_))
                p = with_journal(p, *left, needed);
            found_.push_back(p);
        } else if (abort == 0) {
            *why = QStringLiteral("已取消/Cancelled");
            return false;
        } else if (abort == canopen::abort_code::timeout) {
            *why = QStringLiteral("驱动器无应答/The drive does not answer");
            return false;
        }
    }
    if (found_.size() < packing_.entries.size()) {
        *why = QStringLiteral("通道需要%1个TPDO，驱动器只有%2个可用(TPDO 2-4)/The channels need %1 TPDOs; the drive "
                              "has %2 to spare (TPDO 2-4)")
                   .arg(packing_.entries.size())
                   .arg(found_.size());
        return false;
    }
    wanted_.clear();
    for (size_t k = 0; k < found_.size(); ++k)
        wanted_.push_back(event_driven(found_[k], packing_.entries[k], period_ms_, node_));
    return true;
}

QString pdo_setup::summary() const
{
    QStringList lines;
    for (size_t k = 0; k < wanted_.size(); ++k) {
        const tpdo_params &f = found_[k];
        const tpdo_params &w = wanted_[k];
        QStringList objects;
        for (uint32_t e : w.map)
            objects << object_address(static_cast<uint16_t>(e >> 16), static_cast<uint8_t>(e >> 8));
        const QString was = (f.cob_id & cob_not_valid) ? QStringLiteral("未使用/unused")
                                                       : QStringLiteral("使用中/in use");
        lines << QStringLiteral("TPDO %1 (%2, %3; %4): COB-ID 0x%5, 类型/type %6, %7 ms: %8")
                     .arg(w.number)
                     .arg(object_address(tpdo_comm_index(w.number), 0).left(5), object_address(tpdo_map_index(w.number), 0).left(5),
                          was, hex::digits(w.cob_id & cob_identifier, 3))
                     .arg(w.type)
                     .arg(w.event_ms)
                     .arg(objects.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

bool pdo_setup::write(const sdo_write &w, uint32_t *abort)
{
    const canopen::sdo_outcome o = canopen::write_object(link_, w.index, w.sub, little_endian(w.value, w.size));
    *abort = o.abort;
    return o.ok || w.may_fail;
}

pdo_setup::result pdo_setup::set_up(bool in_pre_operational, QString *why)
{
    pre_operational_ = in_pre_operational;
    changed_.assign(wanted_.size(), change::none);
    journalled_.assign(wanted_.size(), change::none);
    if (in_pre_operational && nmt)
        nmt(0x80);
    result r = result::ok;
    for (size_t k = 0; k < wanted_.size() && r == result::ok; ++k) {
        for (const sdo_write &w : setup_writes(found_[k], wanted_[k])) {
            uint32_t abort = 0;
            if (!proceed()) {
                r = result::cancelled;
                *why = QStringLiteral("已取消/Cancelled");
                break;
            }
            const change level = w.index == tpdo_map_index(found_[k].number) ? change::mapping : change::communication;
            if (journalled_[k] < level) {
                drive_journal::put(journal_entry(node_, found_[k], level == change::mapping, bus_));
                journalled_[k] = level;
            }
            if (!write(w, &abort)) {
                r = !in_pre_operational && refused_in_state(abort) ? result::refused_in_state : result::failed;
                *why = QStringLiteral("%1 = %2: %3")
                           .arg(object_address(w.index, w.sub), hex::prefixed(w.value), canopen::abort_text(abort));
                break;
            }
            changed_[k] = std::max(changed_[k], w.index == tpdo_map_index(found_[k].number) ? change::mapping
                                                                                             : change::communication);
        }
    }
    if (r != result::ok) {
        QString ignored;
        put_back(&ignored);
    }
    if (in_pre_operational && nmt)
        nmt(0x01);
    active_ = r == result::ok;
    return r;
}

bool pdo_setup::put_back(QString *why)
{
    // Never cancelled, and on past a refusal: a half-restored PDO is worse than a slow stop.
    QStringList failures;
    for (size_t k = 0; k < found_.size() && k < changed_.size(); ++k) {
        if (changed_[k] == change::none)
            continue;
        const int before = failures.size();
        for (const sdo_write &w : restore_writes(found_[k], changed_[k] == change::mapping)) {
            uint32_t abort = 0;
            if (!write(w, &abort))
                failures << QStringLiteral("TPDO %1: %2: %3")
                                .arg(found_[k].number)
                                .arg(object_address(w.index, w.sub))
                                .arg(canopen::abort_text(abort));
        }
        // A PDO the drive did not take back stays journalled, to be offered at the next connect.
        if (failures.size() == before)
            drive_journal::remove(bus_, node_, journal_kind(found_[k].number));
        changed_[k] = change::none;
    }
    *why = failures.join(QLatin1Char('\n'));
    return failures.isEmpty();
}

bool pdo_setup::restore(QString *why)
{
    if (!active_)
        return true;
    active_ = false;
    if (pre_operational_ && nmt)
        nmt(0x80);
    const bool ok = put_back(why);
    if (pre_operational_ && nmt)
        nmt(0x01);
    return ok;
}

std::unique_ptr<pdo_decoder> pdo_setup::decoder() const
{
    std::vector<uint32_t> ids;
    for (const tpdo_params &w : wanted_)
        ids.push_back(w.cob_id & cob_identifier);
    const channel_list channels = channels_;
    const bool rated_known = rated_known_;
    const int32_t rated_ma = rated_ma_;
    auto d = std::make_unique<pdo_decoder>(ids, packing_.fields,
                                           [channels, rated_known, rated_ma](int ch, uint32_t raw, int32_t *key) {
                                               return stored_key(channels[static_cast<size_t>(ch)], raw, rated_known,
                                                                 rated_ma, key);
                                           });
    for (const pdo_field &f : packing_.fields) {
        if (channels_[static_cast<size_t>(f.channel)].kind == role::state && f.bits == 16)
            d->set_statusword_channel(f.channel);
    }
    return d;
}

pdo_source::pdo_source(std::unique_ptr<pdo_decoder> decoder, channel_mask channels, int64_t period_us, int bus)
    : decoder_(std::move(decoder)), listener_(bus, decoder_->cob_ids()), channels_(channels), period_us_(period_us),
      timer_(period_us, hold_us)
{
}

void pdo_source::collect(std::vector<sample> &out)
{
    frames_.clear();
    decoded_.clear();
    listener_.drain(frames_);
    for (const vci::tapped_frame &f : frames_)
        decoder_->feed(f.msg.id, f.msg.data, f.msg.len, f.t_us, decoded_);
    if (period_us_ <= 0) {
        out.insert(out.end(), decoded_.begin(), decoded_.end());
        return;
    }
    for (const sample &s : decoded_)
        timer_.take(s);
    timer_.release(vci::bus_tap::now_us(), out);
}

void pdo_source::finish(std::vector<sample> &out)
{
    collect(out);
    decoded_.clear();
    decoder_->flush(decoded_);
    for (const sample &s : decoded_)
        timer_.take(s);
    timer_.flush(out);
}

}  // namespace scope
