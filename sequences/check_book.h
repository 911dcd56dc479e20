#pragma once
// The results of a run's checks, free of widgets: every check up to a row limit is kept as a
// row; beyond it, checks are summarised per name (count, failures, range and mean of the actual
// values, the first failure and the last check), so that a run of any length keeps its memory
// flat. Names beyond the summary limit share one summary.
#include <QString>
#include <cstdint>
#include <vector>

namespace sequences {

// A value a script checks: a number, or anything else compared as text.
struct check_value {
    bool is_number = false;
    double number = 0;
    QString text;
    static check_value of(double v);
    static check_value of(const QString &text);
};

struct check_result {
    double time_s = 0;  // since the run began
    QString name;
    QString actual;
    QString expected;
    double tolerance = 0;
    bool passed = false;
    bool numeric = false;  // actual and expected were numbers
    double actual_number = 0;
};

// Numbers pass when |actual - expected| <= tolerance; anything else when the texts are equal.
check_result evaluate_check(double time_s, const QString &name, const check_value &actual, const check_value &expected,
                            double tolerance);

struct check_summary {
    QString name;  // empty: the checks of every name beyond the summary limit
    int count = 0;
    int failed = 0;
    int numeric = 0;  // checks with a numeric actual value, over which min, max and mean go
    double min = 0;
    double max = 0;
    double sum = 0;
    bool has_failure = false;
    check_result first_failure;
    check_result last;
    double mean() const { return numeric ? sum / numeric : 0; }
};

class check_book {
public:
    static constexpr int default_row_limit = 2000;
    static constexpr int default_summary_limit = 100;

    explicit check_book(int row_limit = default_row_limit, int summary_limit = default_summary_limit)
        : row_limit_(row_limit), summary_limit_(summary_limit)
    {}

    // Records a check: as a new row (returns its index in rows()), or into a summary (returns
    // -1 - its index in summaries()).
    int add(const check_result &result);
    void clear();

    const std::vector<check_result> &rows() const { return rows_; }
    const std::vector<check_summary> &summaries() const { return summaries_; }
    int total() const { return total_; }
    int failed() const { return failed_; }

private:
    int row_limit_;
    int summary_limit_;
    std::vector<check_result> rows_;
    std::vector<check_summary> summaries_;
    int total_ = 0;
    int failed_ = 0;
};

// Numbers as the report and the table show them: integers without a fraction.
QString check_number_text(double v);

}  // namespace sequences
