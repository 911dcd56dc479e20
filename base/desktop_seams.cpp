#include "base/desktop_seams.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

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
file_chooser &chooser()
{
    static file_chooser c;
    return c;
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
void set_file_chooser(file_chooser c) { chooser() = std::move(c); }

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

namespace {

QString settings_file()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/velmora/velmora.conf");
}

QString folder_key(const QString &kind) { return QStringLiteral("folders/") + kind; }

QString start_for(file_mode mode, const QString &kind, const QString &suggested)
{
    const QString folder = QSettings(settings_file(), QSettings::IniFormat).value(folder_key(kind)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return suggested;
    if (mode == file_mode::open)
        return folder;
    return QDir(folder).filePath(QFileInfo(suggested).fileName());
}

QString ask(const file_request &r)
{
    if (chooser())
        return chooser()(r);
    switch (r.mode) {
    case file_mode::open: return QFileDialog::getOpenFileName(r.parent, r.caption, r.start, r.filter);
    case file_mode::save: return QFileDialog::getSaveFileName(r.parent, r.caption, r.start, r.filter);
    case file_mode::save_own_question: break;
    }
    return QFileDialog::getSaveFileName(r.parent, r.caption, r.start, r.filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

}  // namespace

QString choose_file(file_mode mode, QWidget *parent, const QString &kind, const QString &caption,
                    const QString &suggested, const QString &filter)
{
    const QString path = ask({mode, parent, kind, caption, start_for(mode, kind, suggested), filter});
    if (!path.isEmpty()) {
        QSettings settings(settings_file(), QSettings::IniFormat);
        settings.setValue(folder_key(kind), QFileInfo(path).absolutePath());
    }
    return path;
}

}  // namespace desktop_seams
