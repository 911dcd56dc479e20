#pragma once
// The scope's chart: one strip per channel, each with its own value axis in the channel's unit
// (the CiA 402 state on a fixed scale of its eight states),
// over a shared time axis (the set-point shares the position's strip while both are in the same
// unit); or, normalised, every channel in one plot scaled to its own range in view. Live it
// follows the newest samples; on a stopped recording the wheel zooms, dragging pans, a left
// click places cursor 1 and a right click cursor 2, and the readout gives both times and their
// difference.
#include "scope/scope_recording.h"

#include <QImage>
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
    // Channels the source supplies; strips of the others stay hidden.
    void set_available(channel_mask channels) { available_ = channels; }
    void set_channel_shown(int ch, bool shown);
    void set_normalised(bool on);
    // Live: the view follows the last live_window_s seconds of the recording.
    void set_live(bool live);
    // A dotted line at the level of an armed level trigger; ch -1 for none.
    void set_level_line(int ch, double level);

    void set_view(double t0, double t1);
    double view_start() const { return t0_; }
    double view_end() const { return t1_; }
    // Zooms by factor (< 1 closer) about time t; pans by dt seconds. Both stay within the recording.
    void zoom(double factor, double t);
    void pan(double dt);

    // Places cursor which (0 or 1) on the sample nearest to t and returns the readout.
    QString set_cursor(int which, double t);
    // The sample under a cursor; -1 when it is not placed.
    long cursor_sample(int which) const;
    QString readout() const;

    // The chart as an image for a file: a title band above it, cursor lines only when asked.
    QImage picture(const QString &title, bool with_cursors);

    // Redraws from the recording; called by a timer while recording.
    void refresh();

    static constexpr double live_window_s = 10.0;
    static QColor colour_of(int ch);

signals:
    void cursor_read(const QString &reading);
    void cursors_moved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static constexpr int plot_count = max_channels + 1;  // the strips and the normalised plot
    QwtPlot *make_plot();
    QwtPlot *plot_of(int ch) const;
    std::array<QwtPlot *, plot_count> plots() const;
    bool channel_drawn(int ch) const;
    void layout_strips();
    void place_markers();
    // Writes the names of the channels each strip shows into its top-left corner, in their colours.
    void name_strips();
    void draw_curves(int columns);
    double time_at(QObject *canvas, int x) const;

    const recording *data_ = nullptr;
    std::array<QwtPlot *, max_channels> strips_{};
    QwtPlot *overlay_ = nullptr;
    std::array<QwtPlotCurve *, max_channels> curves_{};
    std::array<std::array<QwtPlotMarker *, plot_count>, 2> cursors_{};
    std::array<QwtPlotMarker *, plot_count> triggers_{};
    std::array<QwtPlotTextLabel *, plot_count> names_{};
    QwtPlotMarker *level_line_ = nullptr;
    int level_channel_ = -1;
    channel_mask available_ = all_channels;
    std::array<bool, max_channels> shown_{};
    bool normalised_ = false;
    bool live_ = true;
    bool cursors_hidden_ = false;
    double t0_ = 0.0;
    double t1_ = live_window_s;
    std::array<double, 2> cursor_t_{{-1.0, -1.0}};
    bool dragging_ = false;
    int drag_x_ = 0;
    int press_x_ = 0;
};

}  // namespace scope
