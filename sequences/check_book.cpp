#include "sequences/check_book.h"

#include <cmath>

namespace sequences {

check_value check_value::of(double v)
{
    check_value c;
    c.is_number = true;
    c.number = v;
    c.text = check_number_text(v);
    return c;
}

check_value check_value::of(const QString &text)
{
    check_value c;
    c.text = text;
    return c;
}

QString check_number_text(double v) { return QString::number(v, 'g', 15); }

check_result evaluate_check(double time_s, const QString &name, const check_value &actual, const check_value &expected,
                            double tolerance)
{
    check_result r;
    r.time_s = time_s;
    r.name = name;
    r.actual = actual.text;
    r.expected = expected.text;
    r.tolerance = tolerance;
    r.numeric = actual.is_number && expected.is_number;
    r.actual_number = actual.number;
    // Written so that NaN on either side fails.
    r.passed = r.numeric ? std::fabs(actual.number - expected.number) <= tolerance : actual.text == expected.text;
    return r;
}

int check_book::add(const check_result &result)
{
    ++total_;
    if (!result.passed)
        ++failed_;
    if (static_cast<int>(rows_.size()) < row_limit_) {
        rows_.push_back(result);
        return static_cast<int>(rows_.size()) - 1;
    }
    // Past the summary limit every further name goes into the one summary without a name.
    const bool room = static_cast<int>(summaries_.size()) < summary_limit_;
    const QString &key = result.name;
    int at = 0;
    while (at < static_cast<int>(summaries_.size()) && summaries_[static_cast<size_t>(at)].name != key)
        ++at;
    if (at == static_cast<int>(summaries_.size()) && !room) {
        at = 0;
        while (at < static_cast<int>(summaries_.size()) && !summaries_[static_cast<size_t>(at)].name.isEmpty())
            ++at;
    }
    if (at == static_cast<int>(summaries_.size())) {
        check_summary fresh;
        fresh.name = room ? key : QString();
        summaries_.push_back(fresh);
    }
    check_summary &s = summaries_[static_cast<size_t>(at)];
    ++s.count;
    if (result.numeric) {
        s.min = s.numeric ? qMin(s.min, result.actual_number) : result.actual_number;
        s.max = s.numeric ? qMax(s.max, result.actual_number) : result.actual_number;
        s.sum += result.actual_number;
        ++s.numeric;
    }
    if (!result.passed) {
        ++s.failed;
        if (!s.has_failure) {
            s.has_failure = true;
            s.first_failure = result;
        }
    }
    s.last = result;
    return -1 - at;
}

void check_book::clear()
{
    rows_.clear();
    summaries_.clear();
    total_ = 0;
    failed_ = 0;
}

}  // namespace sequences
