#include "base/desktop_seams.h"

#include <QDesktopServices>

namespace desktop_seams {
namespace {
box_responder &responder()
{
    static box_responder r;
    return r;
}
url_opener &opener()
{
    static url_opener o;
    return o;
}

QMessageBox::StandardButton show(box_kind kind, QWidget *parent, const QString &title, const QString &text,
                                 QMessageBox::StandardButtons buttons)
{
    if (responder())
        return responder()({kind, parent, title, text, buttons});
    switch (kind) {
    case box_kind::information:
        return QMessageBox::information(parent, title, text, buttons);
    case box_kind::warning:
        return QMessageBox::warning(parent, title, text, buttons);
    case box_kind::critical:
        return QMessageBox::critical(parent, title, text, buttons);
    case box_kind::question:
        break;
    }
    return QMessageBox::question(parent, title, text, buttons);
}
}  // namespace

void set_box_responder(box_responder r) { responder() = std::move(r); }
void set_url_opener(url_opener o) { opener() = std::move(o); }

QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons)
{
    return show(box_kind::information, parent, title, text, buttons);
}
QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons)
{
    return show(box_kind::warning, parent, title, text, buttons);
}
QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons)
{
    return show(box_kind::critical, parent, title, text, buttons);
}
QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons)
{
    return show(box_kind::question, parent, title, text, buttons);
}

bool open_url(const QUrl &url)
{
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

}  // namespace desktop_seams
