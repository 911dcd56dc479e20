#pragma once
// The launcher window: creates every other window once and shows them from its buttons.
#include <QActionGroup>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <QTranslator>
#include <cstdint>

class Scope;

namespace Ui {
class Velmora;
}
class Object_dictionary;
class Bus_trace;
class Sequences;
class Joints;

class Velmora : public QMainWindow {
    Q_OBJECT

public:
    explicit Velmora(QWidget *parent = nullptr);
    ~Velmora() override;

    // Status-bar text for the bus in use, so a simulation is never mistaken for a drive and a
    // lost adapter is never mistaken for a quiet bus.
    static QString bus_status_text();
    // Re-reads the bus state into the status bar (also done twice a second by a timer).
    void refresh_bus_status();
    // Switches every window to language (language_chinese, language_english or language_both)
    // as the language menu does; keep also writes the choice to the settings file for the next
    // start.
    void set_language(int32_t language, bool keep);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

signals:
    void languagechange(int32_t language);
    void func();

public slots:
    void on_comboBox_activated();
    void changeEvent(QEvent *e) override;
    void on_sport_clicked();
    void on_monitoring_clicked();
    void on_custom_send_clicked();
    void on_Help_clicked();
    void on_connect_device_clicked();
    void on_objects_clicked();
    void on_scope_clicked();
    void on_actionBus_trace_triggered();
    void on_actionSequences_triggered();
    void on_actionJoints_triggered();

private:
    void show_motion_window(QMainWindow *window);
    // At start-up without a bus: the choice to go on with the simulated joints; true when the
    // simulated bus is open.
    bool offer_simulated_bus();
    // The buses after the first that VELMORA_CAN lists; those that would not open are named in
    // the status line.
    void open_other_buses();
    // Connects the newer windows (object dictionary, scope, bus trace, sequences, Joints) to the
    // frame monitors, the language menu and each other; they reach none of these by themselves.
    void wire_newer_windows();

    Ui::Velmora *ui;
    QTranslator translator;
    QTimer *bus_status_timer;
    Object_dictionary *objects_window;
    Scope *scope_view;
    Bus_trace *bus_trace_window;
    Sequences *sequences_window;
    Joints *joints_window;
    bool shown_before_ = false;
    QActionGroup *language_choice;
};
