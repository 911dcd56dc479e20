#include "scope/scope_chart.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace scope {
namespace {

constexpr double shortest_view_s = 0.05;
constexpr int axis_extent_px = 70;  // the same width for every value axis keeps the strips aligned
constexpr int strip_height_px = 60;  // a strip lower than this overlaps its value labels
constexpr int click_slop_px = 4;    // a press that moves less is a click, not a drag
const QColor cursor_colours[2] = {QColor(255, 140, 0), QColor(0, 150, 200)};

bool stepped(const channel_def &c) { return c.kind == role::setpoint || c.kind == role::state; }

}  // namespace

QColor chart::colour_of(int ch)
{
    static const QColor colours[max_channels] = {QColor(31, 119, 180), QColor(44, 160, 44),  QColor(214, 39, 40),
                                                 QColor(0, 0, 0),       QColor(148, 103, 189), QColor(140, 86, 75),
                                                 QColor(227, 119, 194), QColor(188, 189, 34)};
    return colours[ch % max_channels];
}

chart::chart(QWidget *parent) : QWidget(parent)
{
    shown_.fill(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int ch = 0; ch < max_channels; ++ch) {
        strips_[ch] = make_plot();
        layout->addWidget(strips_[ch], 1);
    }
    overlay_ = make_plot();
    overlay_->setAxisTitle(QwtPlot::yLeft, QStringLiteral("归一化/Normalised"));
    overlay_->setAxisScale(QwtPlot::yLeft, -0.05, 1.05);
    layout->addWidget(overlay_, 1);
    for (int ch = 0; ch < max_channels; ++ch) {
        curves_[ch] = new QwtPlotCurve();
        curves_[ch]->setPaintAttribute(QwtPlotCurve::FilterPoints, true);
    }
    const auto all = plots();
    for (size_t i = 0; i < all.size(); ++i) {
        names_[i] = new QwtPlotTextLabel();
        names_[i]->attach(all[i]);
        for (int c = 0; c < 2; ++c) {
            cursors_[c][i] = new QwtPlotMarker();
            cursors_[c][i]->setLineStyle(QwtPlotMarker::VLine);
            cursors_[c][i]->setLinePen(cursor_colours[c], 1.0);
            cursors_[c][i]->attach(all[i]);
            cursors_[c][i]->hide();
        }
        triggers_[i] = new QwtPlotMarker();
        triggers_[i]->setLineStyle(QwtPlotMarker::VLine);
        triggers_[i]->setLinePen(QColor(128, 128, 128), 1.0, Qt::DotLine);
        triggers_[i]->attach(all[i]);
        triggers_[i]->hide();
    }
    level_line_ = new QwtPlotMarker();
    level_line_->setLineStyle(QwtPlotMarker::HLine);
    level_line_->setLinePen(QColor(128, 128, 128), 1.0, Qt::DotLine);
    level_line_->attach(overlay_);  // a plot owns it wherever it moves
    level_line_->hide();
    layout_strips();
}

QwtPlot *chart::make_plot()
{
    auto *plot = new QwtPlot(this);
    plot->setCanvasBackground(Qt::white);
    plot->setAutoReplot(false);
    plot->axisScaleDraw(QwtPlot::yLeft)->setMinimumExtent(axis_extent_px);
    plot->setAxisMaxMajor(QwtPlot::yLeft, 5);  // strips are low: a few labels stay readable
    plot->setAxisTitle(QwtPlot::xBottom, QStringLiteral("时间/Time (s)"));
    plot->setMinimumHeight(strip_height_px);
    auto *grid = new QwtPlotGrid();
    grid->setMajorPen(QColor(225, 225, 225), 0.0);
    grid->attach(plot);
    QWidget *canvas = plot->canvas();
    canvas->setMouseTracking(true);
    canvas->installEventFilter(this);
    return plot;
}

std::array<QwtPlot *, chart::plot_count> chart::plots() const
{
    std::array<QwtPlot *, plot_count> all{};
    std::copy(strips_.begin(), strips_.end(), all.begin());
    all.back() = overlay_;
    return all;
}

QwtPlot *chart::plot_of(int ch) const
{
    if (normalised_)
        return overlay_;
    if (!data_ || ch >= data_->width())
        return strips_[ch];
    const channel_list &defs = data_->channel_defs();
    if (defs[ch].kind == role::setpoint) {
        // Drawn over the position while both are in the same unit.
        for (int p = 0; p < data_->width(); ++p) {
            if (defs[p].kind == role::position && channel_drawn(p)
                && defs[p].unit_text(data_->unit()) == defs[ch].unit_text(data_->unit()))
                return strips_[p];
        }
    }
    return strips_[ch];
}

bool chart::channel_drawn(int ch) const
{
    return data_ && ch < data_->width() && shown_[ch] && (available_ & bit(ch));
}

void chart::layout_strips()
{
    for (int ch = 0; ch < max_channels; ++ch) {
        QwtPlot *target = plot_of(ch);
        if (curves_[ch]->plot() != target)
            curves_[ch]->attach(target);
        if (data_ && ch < data_->width()) {
            const channel_def &c = data_->channel_defs()[ch];
            QPen pen(colour_of(ch), 0.0);  // cosmetic one-pixel pens: the raster engine's fast path
            if (c.kind == role::setpoint)
                pen.setStyle(Qt::DashLine);
            curves_[ch]->setPen(pen);
            curves_[ch]->setStyle(stepped(c) ? QwtPlotCurve::Steps : QwtPlotCurve::Lines);
            curves_[ch]->setTitle(c.label);
            const bool state = c.kind == role::state;
            // One line for every title, an empty one too: the strips' canvases stay aligned.
            const QString unit = c.unit_text(data_->unit());
            QwtText title(unit.isEmpty() ? QStringLiteral(" ") : unit);
            title.setRenderFlags(Qt::AlignCenter | Qt::TextSingleLine);
            title.setFont(strips_[ch]->axisWidget(QwtPlot::yLeft)->title().font());
            strips_[ch]->setAxisTitle(QwtPlot::yLeft, title);
            // The state is one of eight numbers: a fixed scale reads better than one fitted to a flat line.
            if (state)
                strips_[ch]->setAxisScale(QwtPlot::yLeft, -0.5, 7.5, 2.0);
            else
                strips_[ch]->setAxisAutoScale(QwtPlot::yLeft);
        }
    }
    QwtPlot *last = nullptr;
    for (QwtPlot *p : plots()) {
        bool used = false;
        for (int ch = 0; ch < max_channels; ++ch)
            used = used || (curves_[ch]->plot() == p && channel_drawn(ch));
        p->setVisible(used);
        p->enableAxis(QwtPlot::xBottom, false);
        if (used)
            last = p;
    }
    if (last)
        last->enableAxis(QwtPlot::xBottom, true);
    // The strip that carries the time axis keeps as much room for its curve as the others.
    for (QwtPlot *p : plots())
        p->setMinimumHeight(strip_height_px + (p == last ? p->axisWidget(QwtPlot::xBottom)->sizeHint().height() : 0));
    name_strips();
}

void chart::name_strips()
{
    const auto all = plots();
    for (size_t i = 0; i < all.size(); ++i) {
        QStringList names;
        for (int ch = 0; ch < max_channels; ++ch) {
            if (curves_[ch]->plot() == all[i] && channel_drawn(ch))
                names << QStringLiteral("<span style=\"color:%1\">%2</span>")
                             .arg(colour_of(ch).name(), data_->channel_defs()[ch].label.toHtmlEscaped());
        }
        QwtText text(names.join(QStringLiteral(" &nbsp; ")), QwtText::RichText);
        text.setRenderFlags(Qt::AlignLeft | Qt::AlignTop);
        text.setBackgroundBrush(QColor(255, 255, 255, 200));
        names_[i]->setText(text);
    }
}

void chart::set_channel_shown(int ch, bool shown)
{
    if (ch < 0 || ch >= max_channels)
        return;
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
    if (live)
        cursor_t_ = {{-1.0, -1.0}};
    refresh();
}

void chart::set_level_line(int ch, double level)
{
    level_channel_ = ch;
    level_line_->setYValue(level);
    refresh();
}

void chart::set_view(double t0, double t1)
{
    const double start = data_ ? data_->start_s() : 0.0;
    const double end = data_ ? std::max(data_->end_s(), start + shortest_view_s) : live_window_s;
    const double span = std::clamp(t1 - t0, shortest_view_s, std::max(end - start, shortest_view_s));
    t0_ = std::clamp(t0, start, std::max(start, end - span));
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

long chart::cursor_sample(int which) const
{
    if (!data_ || data_->empty() || cursor_t_[which] < 0.0)
        return -1;
    return static_cast<long>(data_->nearest(cursor_t_[which]));
}

QString chart::readout() const
{
    QStringList parts;
    const char *names[2] = {"光标1/Cursor 1", "光标2/Cursor 2"};
    for (int c = 0; c < 2; ++c) {
        if (cursor_t_[c] >= 0.0)
            parts << QStringLiteral("%1: %2 s").arg(QString::fromUtf8(names[c])).arg(cursor_t_[c], 0, 'f', 4);
    }
    if (cursor_t_[0] >= 0.0 && cursor_t_[1] >= 0.0)
        parts << QStringLiteral("Δt = %1 s").arg(cursor_t_[1] - cursor_t_[0], 0, 'f', 4);
    return parts.join(QStringLiteral("    "));
}

QString chart::set_cursor(int which, double t)
{
    if (!data_ || data_->empty() || which < 0 || which > 1)
        return QString();
    cursor_t_[which] = data_->time_s(data_->nearest(t));
    const QString reading = readout();
    refresh();
    emit cursor_read(reading);
    emit cursors_moved();
    return reading;
}

void chart::place_markers()
{
    const bool triggered = data_ && data_->trigger_s() >= 0.0;
    for (size_t i = 0; i < plots().size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            cursors_[c][i]->setVisible(!live_ && !cursors_hidden_ && cursor_t_[c] >= 0.0);
            cursors_[c][i]->setXValue(cursor_t_[c]);
        }
        triggers_[i]->setVisible(triggered);
        triggers_[i]->setXValue(triggered ? data_->trigger_s() : 0.0);
    }
    const bool level = level_channel_ >= 0 && channel_drawn(level_channel_) && !normalised_;
    if (level && level_line_->plot() != plot_of(level_channel_))
        level_line_->attach(plot_of(level_channel_));
    level_line_->setVisible(level);
}

void chart::draw_curves(int columns)
{
    for (int ch = 0; ch < max_channels; ++ch) {
        QVector<QPointF> points;
        if (channel_drawn(ch))
            points = data_->points(ch, t0_, t1_, columns);
        double lo = 0.0, hi = 0.0;
        if (normalised_ && !points.isEmpty() && data_->value_range(ch, t0_, t1_, &lo, &hi)) {
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
        const double end = data_ ? data_->end_s() : 0.0;
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
        p->replot();
    }
}

QImage chart::picture(const QString &title, bool with_cursors)
{
    cursors_hidden_ = !with_cursors;
    refresh();
    const QImage body = grab().toImage();
    cursors_hidden_ = false;
    refresh();
    QFont font = this->font();
    font.setBold(true);
    const int band = QFontMetrics(font).height() * 2;
    QImage out(body.width(), body.height() + band, QImage::Format_RGB32);
    out.setDevicePixelRatio(body.devicePixelRatio());
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, width(), band), Qt::AlignCenter, title);
    painter.drawImage(QPoint(0, band), body);
    return out;
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
        if (e->button() == Qt::RightButton) {
            set_cursor(1, time_at(watched, e->pos().x()));
            return true;
        }
        dragging_ = e->button() == Qt::LeftButton;
        drag_x_ = press_x_ = e->pos().x();
        return true;
    }
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (dragging_) {
            const double dt = time_at(watched, drag_x_) - time_at(watched, e->pos().x());
            drag_x_ = e->pos().x();
            pan(dt);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (dragging_ && std::abs(e->pos().x() - press_x_) < click_slop_px)
            set_cursor(0, time_at(watched, e->pos().x()));
        dragging_ = false;
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

}  // namespace scope
