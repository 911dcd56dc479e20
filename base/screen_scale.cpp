#include "base/screen_scale.h"

#include <QGuiApplication>
#include <QScreen>

int screen_logical_dpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch()) : 0;
}

int scaled_for_dpi(int length, int logical_dpi, dpi_height kind)
{
    // Per mille, so that a length grows the same on every compiler: 437.5 is 437, never 438.
    struct step {
        int dpi;
        int with_width;
        int taller;
    };
    static const step steps[] = {{120, 1250, 1250}, {144, 1500, 1600}, {168, 1750, 1850}, {192, 2000, 2000}};
    for (const step &s : steps) {
        if (s.dpi == logical_dpi)
            return length * (kind == dpi_height::taller ? s.taller : s.with_width) / 1000;
    }
    return length;
}

QSize size_for_dpi(QSize base, int logical_dpi, dpi_height height)
{
    return QSize(scaled_for_dpi(base.width(), logical_dpi), scaled_for_dpi(base.height(), logical_dpi, height));
}
