#include "base/language.h"

#include "base/desktop_seams.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

namespace {

int32_t shown_language = language_both;

const QRegularExpression &chinese_character()
{
    static const QRegularExpression re(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return re;
}

// Splits at the line break after the last line with Chinese, so that a Chinese paragraph of
// several lines keeps together; the English half has no Chinese at all.
bool split_lines(const QString &text, QString *zh, QString *en)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    int last = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (has_chinese(lines[i]))
            last = i;
    if (last < 0 || last + 1 >= lines.size())
        return false;
    *zh = lines.mid(0, last + 1).join(QLatin1Char('\n')).trimmed();
    *en = lines.mid(last + 1).join(QLatin1Char('\n')).trimmed();
    return !zh->isEmpty() && !en->isEmpty();
}

// "时间/Time", "连接设置 / Connection settings": the slash after the Chinese, with no Chinese after
// it and no earlier word pair ("帧/frames", "光标1/Cursor 1") before it; where units such as
// "kbit/s" offer more than one, the English half begins with a capital letter.
bool split_slash(const QString &text, QString *zh, QString *en)
{
    static const QRegularExpression pair(QStringLiteral("[\\x{4e00}-\\x{9fff}][^\\s,;/]*/"));
    QList<int> splits;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('/'))
            continue;
        const QString before = text.left(i), after = text.mid(i + 1);
        if (has_chinese(before) && !after.trimmed().isEmpty() && !has_chinese(after) && !before.contains(pair))
            splits << i;
    }
    if (splits.isEmpty())
        return false;
    int at = splits.first();
    for (int i : splits)
        if (i + 1 < text.size() && text[i + 1].isUpper()) {
            at = i;
            break;
        }
    *zh = text.left(at).trimmed();
    *en = text.mid(at + 1).trimmed();
    return true;
}

// "%1 帧/frames, %2 显示/shown" reads "%1 frames, %2 shown" once each Chinese word and its slash go.
QString english_of_pairs(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[^\\s,;/]*[\\x{4e00}-\\x{9fff}][^\\s,;/]*/"));
    QString english = text;
    english.remove(word);
    if (english == text || has_chinese(english))
        return QString();
    return english;
}

}  // namespace

bool load_language(QTranslator &translator, int32_t language)
{
    if (language == language_chinese)
        return translator.load(QStringLiteral(":/chinese"));
    if (language == language_english)
        return translator.load(QStringLiteral(":/english"));
    return false;
}

void switch_language(QTranslator &translator, int32_t language)
{
    // Installing twice would list the translator twice, and one removal would leave it in.
    QCoreApplication::removeTranslator(&translator);
    if (load_language(translator, language))
        QCoreApplication::installTranslator(&translator);
}

int32_t current_language() { return shown_language; }
void set_current_language(int32_t language) { shown_language = language; }

bool has_chinese(const QString &text) { return text.contains(chinese_character()); }

QString in_language(const QString &text) { return in_language(text, shown_language); }

QString in_language(const QString &text, int32_t language)
{
    if ((language != language_chinese && language != language_english) || !has_chinese(text))
        return text;
    QString zh, en;
    if (split_lines(text, &zh, &en) || split_slash(text, &zh, &en))
        return language == language_chinese ? zh : en;
    if (language == language_english) {
        const QString paired = english_of_pairs(text);
        if (!paired.isEmpty())
            return paired;
    }
    if (language == language_english)
        return QCoreApplication::translate("documents", text.toUtf8().constData());
    return text;
}

int32_t language_from_name(const QString &name)
{
    if (name == QLatin1String("both"))
        return language_both;
    if (name == QLatin1String("en"))
        return language_english;
    if (name == QLatin1String("zh"))
        return language_chinese;
    return -1;
}

QString language_name(int32_t language)
{
    switch (language) {
    case language_english: return QStringLiteral("en");
    case language_chinese: return QStringLiteral("zh");
    default: return QStringLiteral("both");
    }
}

int32_t saved_language()
{
    const QSettings settings(desktop_seams::settings_file(), QSettings::IniFormat);
    const int32_t language = language_from_name(settings.value(QStringLiteral("interface/language")).toString());
    return language < 0 ? language_both : language;
}

void save_language(int32_t language)
{
    QSettings settings(desktop_seams::settings_file(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("interface/language"), language_name(language));
}
