#pragma once
// A one-line label that is never cut off: a text wider than the label ends in "…" and the
// whole of it is always the tooltip. Its size hint is the whole text's, so a layout gives it the room
// it needs where there is room, and it shrinks to nothing where there is not.
#include <QLabel>

class elided_label : public QLabel {
    Q_OBJECT

public:
    explicit elided_label(QWidget *parent = nullptr);

    void set_full_text(const QString &text);
    QString full_text() const { return full_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void elide();

    QString full_;
};
