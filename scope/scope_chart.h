#pragma once
// The scope's chart: one strip per channel, each with its own value axis, over a shared time
// axis (the set-point shares the position strip while both are in cnt); or, normalised, every
// channel in one plot scaled to its own range in view. Live it follows the newest samples; on
// a stopped recording the wheel zooms, dragging pans and the cursor reads every channel.
#include "scope/scope_recording.h"

#include <QWidget>
#include <array>

class QwtPlot;
class QwtPlotCurve;
class QwtPlotMarker;
class QwtPlotTextLabel;

namespace scope {

class chart : public QWidget {
    Q_OBJECT

public:
    explicit chart(QWidget *parent = nullptr);

    void set_recording(const recording *r) { data_ = r; }
    // Channels the joint's protocol supplies; strips of the others stay hidden.
    void set_available(channel_mask channels) { available_ = channels; }
    void set_channel_shown(channel ch, bool shown);
    void set_normalised(bool on);
    // Live: the view follows the last live_window_s seconds of the recording.
    void set_live(bool live);

    void set_view(double t0, double t1);
    double view_start() const { return t0_; }
    double view_end() const { return t1_; }
    // Zooms by factor (< 1 closer) about time t; pans by dt seconds. Both stay within the recording.
    void zoom(double factor, double t);
    void pan(double dt);
    // Places the cursor at time t (seconds from the start) and returns the reading.
    QString set_cursor(double t);

    // Redraws from the recording; called by a timer while recording.
    void refresh();

    static constexpr double live_window_s = 10.0;

signals:
    void cursor_read(const QString &reading);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QwtPlot *make_plot();
    QwtPlot *plot_of(channel ch) const;
    std::array<QwtPlot *, channel_count + 1> plots() const;
    bool channel_drawn(channel ch) const;
    void layout_strips();
    void place_markers();
    // Writes the names of the channels each strip shows into its top-left corner, in their colours.
    void name_strips();
    void draw_curves(int columns);
    double time_at(QObject *canvas, int x) const;

    const recording *data_ = nullptr;
    std::array<QwtPlot *, channel_count> strips_{};
    QwtPlot *overlay_ = nullptr;
    std::array<QwtPlotCurve *, channel_count> curves_{};
    std::array<QwtPlotMarker *, channel_count + 1> cursors_{};
    std::array<QwtPlotMarker *, channel_count + 1> triggers_{};
    std::array<QwtPlotTextLabel *, channel_count + 1> names_{};
    channel_mask available_ = all_channels;
    std::array<bool, channel_count> shown_{{true, true, true, true, true}};
    bool normalised_ = false;
    bool live_ = true;
    double t0_ = 0.0;
    double t1_ = live_window_s;
    double cursor_t_ = -1.0;
    bool dragging_ = false;
    int drag_x_ = 0;
};

}  // namespace scope
