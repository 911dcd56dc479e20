#include "scope/scope_csv.h"

#include <QIODevice>
#include <algorithm>

namespace scope {

csv_writer::csv_writer(const recording &r, channel_mask wanted, QIODevice *out)
    : data_(r), columns_(static_cast<channel_mask>(wanted & r.channels())), out_(out)
{
}

QByteArray csv_writer::header() const
{
    QByteArray h("time_s");
    for (int ch = 0; ch < channel_count; ++ch) {
        if (columns_ & bit(channel(ch)))
            h += ',' + QByteArray(column_name(channel(ch), data_.unit()));
    }
    return h + '\n';
}

QByteArray csv_writer::row(size_t i) const
{
    const sample &s = data_.at(i);
    QByteArray line = QByteArray::number(data_.time_s(i), 'f', 6);
    for (int ch = 0; ch < channel_count; ++ch) {
        if (!(columns_ & bit(channel(ch))))
            continue;
        line += ',';
        if (s.has(channel(ch)))
            line += QByteArray::number(s.value[ch]);
    }
    return line + '\n';
}

bool csv_writer::write_some(size_t max_rows)
{
    QByteArray chunk;
    if (!header_written_) {
        chunk = header();
        header_written_ = true;
    }
    const size_t end = std::min(data_.size(), next_ + max_rows);
    for (; next_ < end; ++next_)
        chunk += row(next_);
    return out_->write(chunk) == chunk.size();
}

bool write_csv(const recording &r, channel_mask wanted, QIODevice *out)
{
    csv_writer w(r, wanted, out);
    while (!w.done()) {
        if (!w.write_some(10000))
            return false;
    }
    return true;
}

}  // namespace scope
