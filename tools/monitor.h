#pragma once
// Frame monitor: one table row per logged frame, filled six texts at a time by a control
// window's senddata signal. Two instances exist (custom protocol and CANopen); the logging
// switch and the sequence number are process-wide, the fill position belongs to each window.
#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class monitor;
}
class QCloseEvent;
class QTableWidget;

class monitor : public QMainWindow {
    Q_OBJECT

public:
    explicit monitor(QWidget *parent = nullptr);
    ~monitor() override;

    QTableWidget *table() const;
    // Cells placed since the last reset.
    int32_t cell_count() const { return cell_count_; }

    // At this many rows this window's logging pauses (the rows stay) until the table is cleared
    // or exported, which lets the rows go; a long run would otherwise grow until memory runs
    // out (about 1 KB a row).
    static constexpr int default_row_limit = 1000000;
    void set_row_limit(int rows);
    int row_limit() const { return row_limit_; }
    bool full() const { return full_; }

    // Height of the window for a screen's logical DPI (the width is fixed).
    static int height_for_dpi(int logical_dpi);
    static constexpr int form_width = 1076;
    static constexpr int form_height = 553;
    static constexpr int row_height = 50;

public slots:
    void recedata(QString str);
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
    void on_export_2_clicked();
    void on_close_clicked();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void reset_fill_position();
    // Empties the table and ends a pause at the row limit; the numbering is the caller's.
    void drop_rows();
    void show_row_limit();
    void scroll_to_bottom();
    QString shared_text(const QString &str);

    Ui::monitor *ui;
    QTranslator translator;
    // Kept per window: with shared counters, frames logged into one window would aim the other
    // window's cells at rows it does not have.
    int32_t cell_count_ = 0;
    int32_t fill_row_ = 0;
    int32_t fill_column_ = 0;
    bool scroll_pending_ = false;
    int row_limit_ = default_row_limit;
    bool full_ = false;
    uint32_t drops_ = 0;  // times the rows were let go, so that an export sees a clear meanwhile
    QHash<QString, QString> text_pool_;
};
