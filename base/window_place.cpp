#include "base/window_place.h"

#include "base/desktop_seams.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QWidget>

namespace {

QString key(const QString &name) { return QStringLiteral("windows/") + name; }

QRect available_area(const QRect &near)
{
    const QScreen *screen = QGuiApplication::screenAt(near.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(QPoint(0, 0), default_window_limit);
}

// The window's frame around its client area. The window manager adds it only once the window is
// mapped, so until then a frame is assumed to be a title bar and a border.
QMargins frame_margins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    const QMargins m(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                     frame.bottom() - client.bottom());
    if (!m.isNull() || window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return m;
    const int border = window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    return QMargins(border, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
}

class place_keeper : public QObject {
public:
    place_keeper(QWidget *window, const QString &name) : QObject(window), window_(window), name_(name)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (watched != window_)
            return false;
        if (e->type() == QEvent::Show && !restored_) {
            restored_ = true;
            restore();
        } else if (e->type() == QEvent::Hide && restored_) {
            QSettings(desktop_seams::settings_file(), QSettings::IniFormat).setValue(key(name_), window_->normalGeometry());
        }
        return false;
    }

private:
    void restore()
    {
        const QRect saved = QSettings(desktop_seams::settings_file(), QSettings::IniFormat).value(key(name_)).toRect();
        if (saved.isValid()) {
            // The saved place is the client area's; the title bar above it must land on the
            // screen too, or the window cannot be moved.
            const QRect area = available_area(saved).marginsRemoved(frame_margins(window_));
            window_->setGeometry(clamped_onto(saved, window_->minimumSizeHint().expandedTo(window_->minimumSize()), area));
            return;
        }
        const QRect available = available_area(window_->geometry());
        const QSize size = window_->size().boundedTo(default_window_limit).boundedTo(available.size());
        if (size != window_->size())
            window_->resize(size.expandedTo(window_->minimumSize()));
    }

    QWidget *window_;
    QString name_;
    bool restored_ = false;
};

}  // namespace

QRect clamped_onto(const QRect &geometry, const QSize &minimum, const QRect &available)
{
    QRect r(geometry.topLeft(), geometry.size().expandedTo(minimum).boundedTo(available.size()));
    r.moveLeft(qBound(available.left(), r.left(), available.right() + 1 - r.width()));
    r.moveTop(qBound(available.top(), r.top(), available.bottom() + 1 - r.height()));
    return r;
}

void remember_place(QWidget *window, const QString &name) { new place_keeper(window, name); }

void move_onto_screen(QWidget *window, const QPoint &wanted)
{
    const QSize frame = window->size().grownBy(frame_margins(window));
    const QRect area = available_area(QRect(wanted, frame));
    // Left and top win when the window is larger than the area: the title bar stays reachable.
    window->move(qMax(area.left(), qMin(wanted.x(), area.right() + 1 - frame.width())),
                 qMax(area.top(), qMin(wanted.y(), area.bottom() + 1 - frame.height())));
}
