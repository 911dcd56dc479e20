#include "scope/scope_csv.h"

#include "base/text_safety.h"

#include <QIODevice>
#include <QStringList>
#include <algorithm>

namespace scope {

csv_writer::csv_writer(const recording &r, channel_mask wanted, QIODevice *out)
    : data_(r), columns_(static_cast<channel_mask>(wanted & r.channels())), out_(out)
{
}

QByteArray csv_writer::header() const
{
    QByteArray h("time_s");
    QStringList names;
    for (int ch = 0; ch < data_.width(); ++ch) {
        if (!column(ch))
            continue;
        const QString name = data_.channel_defs()[ch].column_name(data_.unit());
        QString unique = name;
        for (int n = 2; names.contains(unique); ++n)
            unique = name + QStringLiteral("_%1").arg(n);
        names << unique;
        h += ',' + text_safety::csv_field(unique).toUtf8();
    }
    return h + '\n';
}

QByteArray csv_writer::row(size_t i) const
{
    QByteArray line = QByteArray::number(data_.time_s(i), 'f', 6);
    for (int ch = 0; ch < data_.width(); ++ch) {
        if (!column(ch))
            continue;
        line += ',';
        if (data_.has(i, ch))
            line += data_.channel_defs()[ch].value_text(data_.key(i, ch)).toLatin1();
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
