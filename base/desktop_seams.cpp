#include "base/desktop_seams.h"

#include "base/language.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
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

// In the English interface a box shows the English half of the bilingual texts handed to it, so
// that the helpers below the windows can keep writing both. The Chinese one leaves them whole:
// a Chinese text followed by a file name would pass for a pair and lose the name.
QString shown(const QString &text) { return current_language() == language_english ? in_language(text) : text; }

box_request in_shown_language(box_request request)
{
    request.title = shown(request.title);
    request.text = shown(request.text);
    request.informative = shown(request.informative);
    for (auto &label : request.labels)
        label.second = shown(label.second);
    return request;
}

QMessageBox::StandardButton show(box_kind kind, QWidget *parent, const QString &title_given, const QString &text_given,
                                 QMessageBox::StandardButtons buttons)
{
    const QString title = shown(title_given), text = shown(text_given);
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

QMessageBox::StandardButton ask(const box_request &given)
{
    const box_request request = in_shown_language(given);
    if (responder())
        return responder()(request);
    static const QMessageBox::Icon icons[] = {QMessageBox::Information, QMessageBox::Warning, QMessageBox::Critical,
                                              QMessageBox::Question};
    QMessageBox box(icons[static_cast<int>(request.kind)], request.title, request.text, request.buttons,
                    request.parent);
    box.setInformativeText(request.informative);
    for (const auto &label : request.labels)
        if (QAbstractButton *button = box.button(label.first))
            button->setText(label.second);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {

// xdg-open reports success even when no application takes the file; ask the desktop's MIME
// registry first. Without xdg-mime the desktop services decide.
bool has_application_for(const QString &path)
{
    const QString xdg_mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdg_mime.isEmpty())
        return true;
    QProcess query;
    query.start(xdg_mime, {QStringLiteral("query"), QStringLiteral("default"),
                           QMimeDatabase().mimeTypeForFile(path).name()});
    if (!query.waitForFinished(2000))
        return true;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

bool open_url(const QUrl &url)
{
    if (opener())
        return opener()(url);
    if (url.isLocalFile() && !has_application_for(url.toLocalFile()))
        return false;
    return QDesktopServices::openUrl(url);
}

QString settings_file()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/velmora/velmora.conf");
}

namespace {

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
