#include "base/language.h"

#include <QCoreApplication>

bool load_language(QTranslator &translator, int32_t language)
{
    if (language == 0)
        return translator.load(QStringLiteral(":/chinese"));
    if (language == 1)
        return translator.load(QStringLiteral(":/english"));
    return false;
}

void switch_language(QTranslator &translator, int32_t language)
{
    if (load_language(translator, language))
        QCoreApplication::installTranslator(&translator);
}
