#pragma once
// The node connection window: scans a range of node numbers for drives, connects to one of them
// (request identifiers, firmware number, CANopen capability), hands the connection to the open
// motion control window and holds the communication cycle.
#include <QMainWindow>
#include <QString>
#include <QTranslator>
#include <cstdint>
#include <vector>

class QTimer;
class progressBars_thread;
class progressBars_thread2;

namespace Ui {
class Set_node;
}

class Set_node : public QMainWindow {
    Q_OBJECT

public:
    explicit Set_node(QWidget *parent = nullptr);
    ~Set_node() override;

    // One request/reply step on the exchange core with the custom protocol's reply rule (a frame
    // carrying data bytes 0-3, never NMT, SYNC or heartbeat traffic); the reply's first four bytes
    // (big-endian) land in reply_value, its identifier in *reply_id when asked for. A command (the
    // save) may also be acknowledged by one byte.
    bool node_exchange(uint32_t identifier, const uint8_t *payload, uint8_t length, uint32_t *reply_id = nullptr,
                       bool command = false, const std::vector<uint32_t> &not_replies = {});
    // The presence probe of node (1..64): true when it answered; the identifier it answered
    // from becomes its reply identifier (custom_learn_reply_id).
    bool probe(int32_t node);
    void take_late_answer();
    // Identifiers other devices were heard on before the probes (their PDOs, say): no probe
    // takes a frame on one of them for a drive's answer.
    std::vector<uint32_t> other_traffic_;

    // Shows or hides the progress bar; the save's worker reaches it only through queued calls.
    void set_progress_visible(bool visible);

    // Pause between the save's progress steps; tests shorten it.
    int32_t save_pause_ms = 50;

signals:
    void func();
    void func2();
    void func3(int num);
    void func4();
    void connect_();
    void _connect();
    void Scan();

public slots:
    void on_Scan_clicked();
    void on_Connect_clicked();
    void on_Disconnect_clicked();
    void off();
    void probar(int num);
    void save();
    void save2();
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *event) override;
    void scan_node();
    void on_comboBox_activated(QString text);
    void on_cycle_period_textChanged(QString text);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void report_adapter_error(int32_t code);
    // The protocol chosen, as the selector's items read in the bilingual form.
    QString chosen_protocol() const;

    Ui::Set_node *ui;
    QTranslator translator;
    progressBars_thread *scan_progress_thread;
    progressBars_thread2 *save_progress_thread;
    QTimer *connect_timer;
};
