#include "app/startup.h"

#include "base/shared_values.h"
#include "app/velmora.h"
#include "base/language.h"

#include <QApplication>
#include <cstdio>

void apply_start_language(Velmora &window, const QString &language)
{
    const int32_t chosen = language.isEmpty() ? saved_language() : language_from_name(language);
    // The windows start with the forms' bilingual texts: only another language is a switch (which
    // also starts the control windows' language workers).
    if (chosen != language_both)
        window.set_language(chosen, false);
}

int run_velmora(QApplication &app, const QString &language)
{
    Velmora window;
    apply_start_language(window, language);
    window.show();  // the first show event opens the adapter
    if (app_running)
        return app.exec();
    // No bus and no simulated one chosen: the program did not do what it was started for.
    std::fputs("velmora: no CAN bus was opened\n", stderr);
    return 1;
}
