#include "scope/scope_chart.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>
#include <qwt_text.h>

#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace scope {
namespace {

constexpr double shortest_view_s = 0.05;
constexpr int axis_extent_px = 70;  // the same width for every value axis keeps the strips aligned

QColor colour_of(channel ch)
{
    static const QColor colours[channel_count] = {QColor(31, 119, 180), QColor(44, 160, 44), QColor(214, 39, 40),
                                                  QColor(0, 0, 0), QColor(148, 103, 189)};
    return colours[ch];
}

// Set-point and state change in steps; the measured channels are continuous.
bool stepped(channel ch) { return ch == setpoint || ch == state; }

QString value_text(const recording &r, channel ch, int32_t v)
{
    if (ch == state)
        return QStringLiteral("%1: %2 %3").arg(QString::fromUtf8(channel_label(ch))).arg(v).arg(
            QString::fromUtf8(state_name(v)));
    const QString unit = QString::fromUtf8(unit_text(ch, r.unit()));
    return QStringLiteral("%1: %2%3").arg(QString::fromUtf8(channel_label(ch))).arg(v).arg(
        unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
}

}  // namespace

chart::chart(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int ch = 0; ch < channel_count; ++ch) {
        strips_[ch] = make_plot();
        strips_[ch]->setAxisTitle(QwtPlot::yLeft, QString::fromUtf8(unit_text(channel(ch), setpoint_unit::cnt)));
        layout->addWidget(strips_[ch], 1);
    }
    // The state is one of eight numbers: a fixed scale reads better than one fitted to a flat line.
    strips_[state]->setAxisTitle(QwtPlot::yLeft, QStringLiteral("CiA 402"));
    strips_[state]->setAxisScale(QwtPlot::yLeft, -0.5, 7.5, 2.0);
    overlay_ = make_plot();
    overlay_->setAxisTitle(QwtPlot::yLeft, QStringLiteral("归一化/Normalised"));
    overlay_->setAxisScale(QwtPlot::yLeft, -0.05, 1.05);
    layout->addWidget(overlay_, 1);
    for (int ch = 0; ch < channel_count; ++ch) {
        curves_[ch] = new QwtPlotCurve(QString::fromUtf8(channel_label(channel(ch))));
        // Cosmetic one-pixel pens: the raster engine draws them on its fast path.
        QPen pen(colour_of(channel(ch)), 0.0);
        if (ch == setpoint)
            pen.setStyle(Qt::DashLine);
        curves_[ch]->setPen(pen);
        curves_[ch]->setStyle(stepped(channel(ch)) ? QwtPlotCurve::Steps : QwtPlotCurve::Lines);
        curves_[ch]->setPaintAttribute(QwtPlotCurve::FilterPoints, true);
    }
    const auto all = plots();
    for (size_t i = 0; i < all.size(); ++i) {
        names_[i] = new QwtPlotTextLabel();
        names_[i]->attach(all[i]);
        cursors_[i] = new QwtPlotMarker();
        cursors_[i]->setLineStyle(QwtPlotMarker::VLine);
        cursors_[i]->setLinePen(QColor(255, 140, 0), 1.0);
        cursors_[i]->attach(all[i]);
        cursors_[i]->hide();
        triggers_[i] = new QwtPlotMarker();
        triggers_[i]->setLineStyle(QwtPlotMarker::VLine);
        triggers_[i]->setLinePen(QColor(128, 128, 128), 1.0, Qt::DotLine);
        triggers_[i]->attach(all[i]);
        triggers_[i]->hide();
    }
    layout_strips();
}

QwtPlot *chart::make_plot()
{
    auto *plot = new QwtPlot(this);
    plot->setCanvasBackground(Qt::white);
    plot->setAutoReplot(false);
    plot->axisScaleDraw(QwtPlot::yLeft)->setMinimumExtent(axis_extent_px);
    plot->setAxisMaxMajor(QwtPlot::yLeft, 5);  // strips are low: a few labels stay readable
    plot->setMinimumHeight(60);
    auto *grid = new QwtPlotGrid();
    grid->setMajorPen(QColor(225, 225, 225), 0.0);
    grid->attach(plot);
    QWidget *canvas = plot->canvas();
    canvas->setMouseTracking(true);
    canvas->installEventFilter(this);
    return plot;
}

std::array<QwtPlot *, channel_count + 1> chart::plots() const
{
    return {strips_[0], strips_[1], strips_[2], strips_[3], strips_[4], overlay_};
}

QwtPlot *chart::plot_of(channel ch) const
{
    if (normalised_)
        return overlay_;
    const bool counts = data_ && data_->unit() == setpoint_unit::cnt;
    if (ch == setpoint && (counts || !data_))
        return strips_[position];
    return strips_[ch];
}

bool chart::channel_drawn(channel ch) const { return shown_[ch] && (available_ & bit(ch)); }

void chart::layout_strips()
{
    for (int ch = 0; ch < channel_count; ++ch) {
        QwtPlot *target = plot_of(channel(ch));
        if (curves_[ch]->plot() != target)
            curves_[ch]->attach(target);
    }
    QwtPlot *last = nullptr;
    for (QwtPlot *p : plots()) {
        bool used = false;
        for (int ch = 0; ch < channel_count; ++ch)
            used = used || (curves_[ch]->plot() == p && channel_drawn(channel(ch)));
        p->setVisible(used);
        p->enableAxis(QwtPlot::xBottom, false);
        if (used)
            last = p;
    }
    if (last)
        last->enableAxis(QwtPlot::xBottom, true);
    name_strips();
    if (data_ && !normalised_) {
        strips_[setpoint]->setAxisTitle(QwtPlot::yLeft, QString::fromUtf8(unit_text(setpoint, data_->unit())));
    }
}

void chart::name_strips()
{
    const auto all = plots();
    for (size_t i = 0; i < all.size(); ++i) {
        QStringList names;
        for (int ch = 0; ch < channel_count; ++ch) {
            if (curves_[ch]->plot() == all[i] && channel_drawn(channel(ch)))
                names << QStringLiteral("<span style=\"color:%1\">%2</span>")
                             .arg(colour_of(channel(ch)).name(), QString::fromUtf8(channel_label(channel(ch))));
        }
        QwtText text(names.join(QStringLiteral(" &nbsp; ")), QwtText::RichText);
        text.setRenderFlags(Qt::AlignLeft | Qt::AlignTop);
        text.setBackgroundBrush(QColor(255, 255, 255, 200));
        names_[i]->setText(text);
    }
}

void chart::set_channel_shown(channel ch, bool shown)
{
    shown_[ch] = shown;
    refresh();
}

void chart::set_normalised(bool on)
{
    normalised_ = on;
    refresh();
}

void chart::set_live(bool live)
{
    live_ = live;
    if (live) {
        cursor_t_ = -1.0;
        for (QwtPlotMarker *m : cursors_)
            m->hide();
    }
    refresh();
}

void chart::set_view(double t0, double t1)
{
    const double end = data_ ? std::max(data_->duration_s(), shortest_view_s) : live_window_s;
    double span = std::clamp(t1 - t0, shortest_view_s, std::max(end, shortest_view_s));
    t0_ = std::clamp(t0, 0.0, std::max(0.0, end - span));
    t1_ = t0_ + span;
    refresh();
}

void chart::zoom(double factor, double t)
{
    const double span = (t1_ - t0_) * factor;
    const double share = (t1_ > t0_) ? (t - t0_) / (t1_ - t0_) : 0.5;
    set_view(t - share * span, t - share * span + span);
}

void chart::pan(double dt) { set_view(t0_ + dt, t1_ + dt); }

QString chart::set_cursor(double t)
{
    if (!data_ || data_->empty())
        return QString();
    const size_t i = data_->nearest(t);
    cursor_t_ = data_->time_s(i);
    QStringList parts{QStringLiteral("t = %1 s").arg(cursor_t_, 0, 'f', 3)};
    for (int ch = 0; ch < channel_count; ++ch) {
        if (data_->at(i).has(channel(ch)))
            parts << value_text(*data_, channel(ch), data_->at(i).value[ch]);
    }
    const QString reading = parts.join(QStringLiteral("    "));
    refresh();
    emit cursor_read(reading);
    return reading;
}

void chart::place_markers()
{
    const bool triggered = data_ && data_->trigger_s() >= 0.0;
    for (size_t i = 0; i < cursors_.size(); ++i) {
        cursors_[i]->setVisible(!live_ && cursor_t_ >= 0.0);
        cursors_[i]->setXValue(cursor_t_);
        triggers_[i]->setVisible(triggered);
        triggers_[i]->setXValue(triggered ? data_->trigger_s() : 0.0);
    }
}

void chart::draw_curves(int columns)
{
    for (int ch = 0; ch < channel_count; ++ch) {
        QVector<QPointF> points;
        if (data_ && channel_drawn(channel(ch)))
            points = data_->points(channel(ch), t0_, t1_, columns);
        double lo = 0.0, hi = 0.0;
        if (normalised_ && !points.isEmpty() && data_->value_range(channel(ch), t0_, t1_, &lo, &hi)) {
            const double range = hi - lo;
            for (QPointF &p : points)
                p.setY(range > 0.0 ? (p.y() - lo) / range : 0.5);
        }
        curves_[ch]->setSamples(points);
    }
}

void chart::refresh()
{
    if (live_) {
        const double end = data_ ? data_->duration_s() : 0.0;
        t1_ = std::max(live_window_s, end);
        t0_ = t1_ - live_window_s;
    }
    layout_strips();
    draw_curves(std::max(100, width()));
    place_markers();
    for (QwtPlot *p : plots()) {
        if (p->isHidden())
            continue;
        p->setAxisScale(QwtPlot::xBottom, t0_, t1_);
        if (p != overlay_ && p != strips_[state])
            p->setAxisAutoScale(QwtPlot::yLeft);
        p->replot();
    }
}

double chart::time_at(QObject *canvas, int x) const
{
    for (QwtPlot *p : plots()) {
        if (p->canvas() == canvas)
            return p->canvasMap(QwtPlot::xBottom).invTransform(x);
    }
    return t0_;
}

bool chart::eventFilter(QObject *watched, QEvent *event)
{
    if (live_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Wheel: {
        auto *e = static_cast<QWheelEvent *>(event);
        zoom(e->angleDelta().y() > 0 ? 0.8 : 1.25, time_at(watched, e->position().toPoint().x()));
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto *e = static_cast<QMouseEvent *>(event);
        dragging_ = e->button() == Qt::LeftButton;
        drag_x_ = e->pos().x();
        set_cursor(time_at(watched, e->pos().x()));
        return true;
    }
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (dragging_) {
            const double dt = time_at(watched, drag_x_) - time_at(watched, e->pos().x());
            drag_x_ = e->pos().x();
            pan(dt);
        } else {
            set_cursor(time_at(watched, e->pos().x()));
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        dragging_ = false;
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

}  // namespace scope
