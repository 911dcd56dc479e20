#include "base/elided_label.h"

#include <QFontMetrics>
#include <QtMath>
#include <QResizeEvent>

elided_label::elided_label(QWidget *parent) : QLabel(parent)
{
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void elided_label::set_full_text(const QString &text)
{
    full_ = text;
    updateGeometry();
    elide();
}

QSize elided_label::sizeHint() const
{
    const QFontMetricsF fm(font());
    const QMargins m = contentsMargins();
    // One line: the texts are bilingual with a line break between the halves.
    QString line = full_;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Rounded up: a width rounded down is a fraction short of the text, which then elides.
    return QSize(qCeil(fm.horizontalAdvance(line)) + m.left() + m.right() + 2 * margin(),
                 qCeil(fm.height()) + m.top() + m.bottom() + 2 * margin());
}

QSize elided_label::minimumSizeHint() const { return QSize(0, sizeHint().height()); }

void elided_label::resizeEvent(QResizeEvent *e)
{
    QLabel::resizeEvent(e);
    elide();
}

void elided_label::elide()
{
    QString line = full_;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString shown = fontMetrics().elidedText(line, Qt::ElideRight, qMax(0, contentsRect().width() - 2 * margin()));
    if (text() != shown)
        setText(shown);
    if (toolTip() != full_)
        setToolTip(full_);
}
