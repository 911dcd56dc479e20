#pragma once
// The frame every newer window (object dictionary, LSS, scope, bus trace, sequences) shares: it
// follows the main window's language menu with a translator of its own, retranslates itself on
// the language change, and comes back where the user left it. Frame is the Qt window class
// (QMainWindow, QDialog); the window itself declares Q_OBJECT, so its tr() context stays its own.
#include "base/language.h"
#include "base/window_place.h"

#include <QEvent>
#include <QString>
#include <QTranslator>
#include <cstdint>

template <class Frame>
class language_window : public Frame {
public:
    // The language menu's switch (0 Chinese, 1 English, 2 both), connected by the main window.
    void comboBox(int32_t language) { switch_language(translator_, language); }

protected:
    // place: the settings name under which the window's position and size are kept.
    language_window(QWidget *parent, const QString &place) : Frame(parent) { remember_place(this, place); }

    // The window's texts anew once the catalogue changed: its form's and those it sets itself.
    virtual void retranslate() = 0;

    void changeEvent(QEvent *e) override
    {
        Frame::changeEvent(e);
        if (e->type() == QEvent::LanguageChange)
            retranslate();
    }

private:
    QTranslator translator_;
};
