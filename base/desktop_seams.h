#pragma once
// The places where the program hands control to the desktop: modal message boxes, the file
// dialog, and opening a file with its default application. Tests install a responder instead,
// so no box or dialog ever waits for a click and no viewer is started.
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>

namespace desktop_seams {

enum class box_kind { information, warning, critical, question };

struct box_request {
    box_kind kind;
    QWidget *parent;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    // A second, smaller text under text (may be empty).
    QString informative = QString();
    // Buttons that say what they do instead of "Yes" or "Close".
    QList<QPair<QMessageBox::StandardButton, QString>> labels = {};
};

using box_responder = std::function<QMessageBox::StandardButton(const box_request &)>;
using url_opener = std::function<bool(const QUrl &)>;

// An empty responder restores the real message boxes.
void set_box_responder(box_responder responder);
void set_url_opener(url_opener opener);

QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);
QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Ok);
QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No);

// A box with the fields of request beyond the standard ones (informative text, button labels).
QMessageBox::StandardButton ask(const box_request &request);

// False when nothing could open it: no desktop opener, or for a local file no application
// registered for its type (the desktop's own opener would fail without a word).
bool open_url(const QUrl &url);

// ---- the file question ----------------------------------------------------------------------

enum class file_mode {
    open,
    save,
    // Save, and the caller asks about replacing an existing file itself (it may add an
    // extension to the name chosen, so the dialog's own question would be about another file).
    save_own_question,
};

struct file_request {
    file_mode mode;
    QWidget *parent;
    // The sort of file ("candump", "eds", "workbook", ...): each kind remembers the folder of
    // the last file chosen for it, and the next question starts there.
    QString kind;
    QString caption;
    // Where the dialog starts: the caller's suggestion ("bus.log", "./Velmora_data.xlsx"), moved
    // into the kind's remembered folder once there is one (for open, the folder alone).
    QString start;
    QString filter;
};

using file_chooser = std::function<QString(const file_request &)>;

// An empty chooser restores the file dialog.
void set_file_chooser(file_chooser chooser);
// The path chosen, or empty when the question was cancelled. suggested becomes the request's
// start as described above. The folders are kept with QSettings in velmora/velmora.conf under
// QStandardPaths' generic configuration folder ($XDG_CONFIG_HOME, by default ~/.config), read
// and written on each question, so a test moves them by setting XDG_CONFIG_HOME.
QString choose_file(file_mode mode, QWidget *parent, const QString &kind, const QString &caption,
                    const QString &suggested, const QString &filter);

// The program's settings file (an INI file for QSettings): the folders above, the windows' places.
QString settings_file();

}  // namespace desktop_seams
