#include "trace/frame_log.h"

#include <algorithm>

namespace trace {

frame_log::frame_log(size_t cap) : cap_(std::max(cap, min_cap)) {}

void frame_log::push(const trace_record &r, const frame_detail *detail, uint16_t iface)
{
    if (size_ >= cap_)
        drop_oldest_chunk();
    if (size_ % chunk_size == 0)
        chunks_.emplace_back();
    chunks_.back().push_back(r);
    trace_record &kept = chunks_.back().back();
    const uint64_t number = base_ + size_;
    if ((r.flags & record_flag::detail) && detail)
        details_.emplace_back(number, *detail);
    else
        kept.flags &= static_cast<uint8_t>(~record_flag::detail);
    if (interfaces_.empty())
        intern(QStringLiteral("can0"));
    if (iface >= interfaces_.size())
        iface = 0;
    if (runs_.empty() || runs_.back().second != iface)
        runs_.emplace_back(number, iface);
    ++size_;
}

const frame_detail *frame_log::detail(size_t i) const
{
    if (!(at(i).flags & record_flag::detail))
        return nullptr;
    const uint64_t number = base_ + i;
    const auto found = std::lower_bound(details_.begin(), details_.end(), number,
                                        [](const std::pair<uint64_t, frame_detail> &d, uint64_t n) { return d.first < n; });
    return found != details_.end() && found->first == number ? &found->second : nullptr;
}

const QString &frame_log::interface_of(size_t i) const { return interface_name(interface_index(i)); }

uint16_t frame_log::interface_index(size_t i) const
{
    const uint64_t number = base_ + i;
    auto run = std::upper_bound(runs_.begin(), runs_.end(), number,
                                [](uint64_t n, const std::pair<uint64_t, uint16_t> &r) { return n < r.first; });
    if (run == runs_.begin())
        return 0;
    return (--run)->second;
}

const QString &frame_log::interface_name(uint16_t iface) const
{
    static const QString none = QStringLiteral("can0");
    return iface < interfaces_.size() ? interfaces_[iface] : none;
}

uint16_t frame_log::intern(const QString &iface)
{
    const auto found = std::find(interfaces_.begin(), interfaces_.end(), iface);
    if (found != interfaces_.end())
        return static_cast<uint16_t>(found - interfaces_.begin());
    if (interfaces_.size() >= 0xFFFF)
        return 0;
    interfaces_.push_back(iface);
    return static_cast<uint16_t>(interfaces_.size() - 1);
}

void frame_log::set_cap(size_t cap)
{
    cap_ = std::max(cap, min_cap);
    while (size_ > cap_)
        drop_oldest_chunk();
}

void frame_log::drop_oldest_chunk()
{
    if (chunks_.empty())
        return;
    const size_t n = std::min(size_, chunk_size);
    if (n > 0) {
        if (dropped_ == 0)
            dropped_first_us_ = at(0).t_us;
        dropped_last_us_ = at(n - 1).t_us;
        dropped_ += n;
    }
    chunks_.erase(chunks_.begin());
    size_ -= n;
    base_ += n;
    while (!details_.empty() && details_.front().first < base_)
        details_.pop_front();
    // The run that covers the new first frame stays.
    while (runs_.size() > 1 && runs_[1].first <= base_)
        runs_.erase(runs_.begin());
}

void frame_log::clear()
{
    chunks_.clear();
    base_ += size_;
    size_ = 0;
    details_.clear();
    runs_.clear();
    dropped_ = 0;
    dropped_first_us_ = dropped_last_us_ = 0;
}

}  // namespace trace
