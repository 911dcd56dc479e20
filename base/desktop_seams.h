#pragma once
// The two places where the program hands control to the desktop: modal message boxes and
// opening a file with its default application. Tests install a responder instead, so no
// box ever waits for a click and no viewer is started.
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

bool open_url(const QUrl &url);

}  // namespace desktop_seams
