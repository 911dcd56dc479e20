#pragma once
// Windows the user may resize open within the screen and come back where they were left: the
// position and size are kept in the program's settings (desktop_seams::settings_file()).
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// The largest size a window opens at when nothing was remembered for it: fits a 1366x768
// laptop with its panel and the window's title bar.
constexpr QSize default_window_limit(1280, 720);

// Where a window of this geometry goes on a screen whose free area is available: no larger than
// the area, no smaller than minimum, moved onto it when any part lies outside.
QRect clamped_onto(const QRect &geometry, const QSize &minimum, const QRect &available);

// From window's first show on: it opens at the geometry remembered under name, clamped onto the
// screen it falls on, or else at its own size capped to default_window_limit and the screen;
// each hide remembers where it is.
void remember_place(QWidget *window, const QString &name);

// Windows of a fixed size and place: the frame goes to wanted (its top-left, as QWidget::move
// has it) when it fits in the available area of the screen there, else as near to it as fits.
void move_onto_screen(QWidget *window, const QPoint &wanted);
