#pragma once
// Fixed-size forms grow with the screen's logical DPI in steps (120, 144, 168, 192 dpi); at any
// other DPI a form keeps the size it was drawn at (96 dpi).
#include <QSize>

// The primary screen's logical DPI, rounded to a whole number; 0 without a screen.
int screen_logical_dpi();

// How a form's height grows: like its width (1.25, 1.5, 1.75, 2), or, for the frame monitor
// and the CANopen window, by 1.25, 1.6, 1.85 and 2.
enum class dpi_height { with_width, taller };

// A length of the form at 96 dpi, grown for this DPI; fractions are dropped.
int scaled_for_dpi(int length, int logical_dpi, dpi_height kind = dpi_height::with_width);
QSize size_for_dpi(QSize base, int logical_dpi, dpi_height height = dpi_height::with_width);
