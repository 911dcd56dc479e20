#pragma once
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class custom_send;
}

// The table row the frame sender writes its next entry to: the number of entries shown since
// the last Clear.
extern int32_t row_cursor;

class custom_send : public QMainWindow {
    Q_OBJECT

public:
    explicit custom_send(QWidget *parent = nullptr);
    ~custom_send() override;

signals:

public slots:
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;
    void on_send_clicked();
    void on_clear_clicked();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    // The status column's words: the frame went out, or came in.
    enum { sent = 1, received = 2 };
    QString status_text(int status);
    void append_entry(const QString &id, int status, const QString &data);

    Ui::custom_send *ui;
    QTranslator translator;
};
