// The user manual: the PDF the build prints for the Help button, and the printing tool itself
// (chapter page breaks, page numbers, Chinese text that survives as text, refusal of bad input),
// with the window pictures the build takes for it.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

constexpr int generous_ms = 60000;  // only a ceiling for a stuck child, never a speed check

QString bin_dir()
{
    const QString env = qEnvironmentVariable("VELMORA_BIN_DIR");
    return env.isEmpty() ? QCoreApplication::applicationDirPath() : env;
}

QString manual_path() { return bin_dir() + QStringLiteral("/Document/Velmora用户手册_Ver1.1.pdf"); }

QString tool_path() { return QDir(bin_dir() + QStringLiteral("/../tools")).absoluteFilePath(QStringLiteral("velmora-manual")); }

QString source_markdown()
{
    return qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document/manual/manual.md");
}

QString pictures_dir() { return QDir(bin_dir() + QStringLiteral("/../pictures")).absolutePath(); }

struct run_result {
    int code = -1;
    QString out;
    QString err;
};

run_result run(const QString &program, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // In a sanitizer build the tool would otherwise fail on the toolkit's start-up allocations.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    run_result r;
    if (!p.waitForFinished(generous_ms) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// pdftotext wraps lines where the layout did: compare without any white space.
QString squeezed(QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s+"))); }

int pdf_pages(const QString &pdf)
{
    if (!QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()) {
        const run_result r = run(QStringLiteral("pdfinfo"), {pdf});
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(r.out);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    QFile f(pdf);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return QString::fromLatin1(f.readAll()).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)")));
}

QString pdf_text(const QString &pdf)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")}).out;
}

bool have_pdftotext() { return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(); }

bool have_pdfimages() { return !QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty(); }

// The pictures the build took, from its captions.tsv: file name and caption, in table order.
QList<QPair<QString, QString>> built_pictures()
{
    QList<QPair<QString, QString>> pictures;
    QFile f(pictures_dir() + QStringLiteral("/captions.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return pictures;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char('\t'));
        if (parts.size() == 2)
            pictures.append({parts[0], parts[1]});
    }
    return pictures;
}

// "WIDTHxHEIGHT" of every image the PDF holds (soft masks are not pictures), sorted.
QStringList pdf_image_sizes(const QString &pdf)
{
    QStringList sizes;
    const run_result r = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    for (const QString &line : r.out.split(QLatin1Char('\n'))) {
        const QStringList cols = line.simplified().split(QLatin1Char(' '));
        if (cols.size() > 4 && cols[2] == QLatin1String("image"))
            sizes << cols[3] + QLatin1Char('x') + cols[4];
    }
    sizes.sort();
    return sizes;
}

struct page_layout {
    QString text;           // the page's words run together
    double filled = 0;      // share of the text area down to the lowest word above the footer
};

// Each page's words and how far down its text area is used, from pdftotext's word boxes. The
// footer is the lowest line of every page; a picture always has its caption below it, so the
// lowest word marks the end of the page's content.
QList<page_layout> pdf_layout(const QString &pdf)
{
    const run_result r = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    const QRegularExpression word(QStringLiteral("<word xMin=\"[-0-9.]+\" yMin=\"([-0-9.]+)\" xMax=\"[-0-9.]+\" "
                                                 "yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    struct box {
        double top, bottom;
        QString text;
    };
    QList<QList<box>> pages;
    for (const QString &chunk : r.out.split(QStringLiteral("<page "), Qt::SkipEmptyParts).mid(1)) {
        QList<box> words;
        for (auto it = word.globalMatch(chunk); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            words.append({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
        }
        pages.append(words);
    }
    double body_top = 1e9;
    for (const QList<box> &words : pages) {
        for (const box &b : words)
            body_top = qMin(body_top, b.top);
    }
    QList<page_layout> layouts;
    for (const QList<box> &words : pages) {
        double footer = 0;
        for (const box &b : words)
            footer = qMax(footer, b.top);
        page_layout l;
        double lowest = body_top;
        for (const box &b : words) {
            if (b.bottom < footer - 1) {
                lowest = qMax(lowest, b.bottom);
                l.text += b.text;
            }
        }
        l.filled = footer > body_top ? (lowest - body_top) / (footer - body_top) : 0;
        layouts.append(l);
    }
    return layouts;
}

// The source's headings down to that level ("# " chapters are level 1), squeezed.
QStringList headings(const QString &markdown_path, int max_level)
{
    QFile f(markdown_path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList found;
    bool in_code = false;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("```")))
            in_code = !in_code;
        else if (!in_code && line.startsWith(QLatin1Char('#'))) {
            const int level = line.indexOf(QLatin1Char(' '));
            if (level >= 1 && level <= max_level && line.left(level) == QString(level, QLatin1Char('#')))
                found << squeezed(line.mid(level + 1));
        }
    }
    return found;
}

}  // namespace

class test_manual : public QObject {
    Q_OBJECT

private slots:
    void built_manual_is_a_complete_pdf_beside_the_program()
    {
        QFile f(manual_path());
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(manual_path()));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        QVERIFY2(bytes.trimmed().endsWith("%%EOF"), "the PDF was cut short");
        QVERIFY(pdf_pages(manual_path()) >= 10);
        // Chinese glyphs come from an embedded CJK font, not from whatever the viewer substitutes.
        QVERIFY(bytes.contains("WenQuanYi") || bytes.contains("CJK"));
        // The Markdown source is not shipped beside the program.
        QVERIFY(!QFileInfo::exists(bin_dir() + QStringLiteral("/Document/manual")));
    }

    void built_manual_reads_back_as_the_texts_users_see()
    {
        if (!have_pdftotext())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QString text = squeezed(pdf_text(manual_path()));
        const QStringList expected = {
            QStringLiteral("Velmora用户手册/UserManual"),
            QStringLiteral("请先关闭其他上位机程序或检查是否连接好调试器"),
            QStringLiteral("输入范围错误！"),
            QStringLiteral("此固件版本号为EtherCAT,不支持CANopen通讯，是否切换至CAN自定义协议进行测试"),
            QStringLiteral("仿真总线/Simulatedbus"),
            QStringLiteral("CAN适配器已断开/Adapterlost"),
            QStringLiteral("iplinksetcan0uptypecanbitrate1000000"),
            QStringLiteral("velmora-sim--busvirtualcan:can0--nodes1:10231,7:10230"),
            QStringLiteral("VELMORA_CAN_TRACE"),
            QStringLiteral("CANopen_Error.xml"),
        };
        for (const QString &s : expected)
            QVERIFY2(text.contains(s), qPrintable(QStringLiteral("missing from the manual: ") + s));
        // Nothing lost on the way from the source, such as a section the layout dropped.
        const QStringList sections = headings(source_markdown(), 3);
        QVERIFY(sections.size() > 30);
        for (const QString &h : sections)
            QVERIFY2(text.contains(h), qPrintable(QStringLiteral("heading missing from the manual: ") + h));
    }

    // "section 12.2", "chapters 5 and 6", "(see 6.2)", "(2.1)", "13.1 节", "第 7 章": each names
    // a numbered heading the manual has.
    void cross_references_name_existing_headings()
    {
        static const QRegularExpression number(QStringLiteral("\\d{1,2}(?:\\.\\d{1,2})?"));
        QSet<QString> numbers;
        for (const QString &h : headings(source_markdown(), 3))
            numbers << number.match(h, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchoredMatchOption).captured();
        QFile f(source_markdown());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        static const QRegularExpression reference(
            QStringLiteral("(?:\\b(?:sections?|chapters?|see)|第)\\s*\\d{1,2}(?:\\.\\d{1,2})?(?!\\w)"
                           "(?:\\s*(?:,|and|or|to|和|与)\\s*\\d{1,2}(?:\\.\\d{1,2})?(?!\\w))*"
                           "|(?<![\\d.])\\d{1,2}\\.\\d{1,2}\\)|(?<![\\d.])\\d{1,2}(?:\\.\\d{1,2})?\\s*[章节](?!点)"),
            QRegularExpression::CaseInsensitiveOption);
        int references = 0;
        for (auto m = reference.globalMatch(text); m.hasNext();) {
            const QRegularExpressionMatch r = m.next();
            for (auto n = number.globalMatch(r.captured()); n.hasNext(); ++references)
                QVERIFY2(numbers.contains(n.next().captured()),
                         qPrintable(QStringLiteral("\"%1\" names no heading").arg(r.captured())));
        }
        QVERIFY(references > 20);
    }

    // Chapters start pages; sections (##) flow on.
    void tool_breaks_pages_at_chapters_and_numbers_them()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString md = dir.filePath(QStringLiteral("m.md"));
        const QString pdf = dir.filePath(QStringLiteral("输出.pdf"));  // the real name is Chinese too
        QFile f(md);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# 标题 / Title\n\nFirst page.\n\n"
                "# 第二章 / Two\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n## 2.1 Sub\n\n```\nline one\n\nline two\n```\n\n"
                "## 2.2 Sub\n\nText.\n\n"
                "# 第三章 / Three\n\nLast.\n");
        f.close();
        const run_result r = run(tool_path(), {md, pdf});
        QCOMPARE(r.code, 0);
        QCOMPARE(pdf_pages(pdf), 3);
        if (!have_pdftotext())
            return;
        const QString text = squeezed(pdf_text(pdf));
        QVERIFY(text.contains(QStringLiteral("第二章/Two")));
        QVERIFY(text.contains(QStringLiteral("3/3")));
        QVERIFY(text.contains(QStringLiteral("lineone")) && text.contains(QStringLiteral("linetwo")));
    }

    // Pictures of the windows: each in the PDF at the size it was taken, each with its caption,
    // taken no earlier than the forms they show (the build retakes them when a form changes).
    void built_manual_shows_every_window_picture_with_its_caption()
    {
        const auto pictures = built_pictures();
        QVERIFY2(pictures.size() >= 6, qPrintable(pictures_dir()));
        QStringList sizes;
        for (const auto &p : pictures) {
            const QImage image(pictures_dir() + QLatin1Char('/') + p.first);
            QVERIFY2(!image.isNull(), qPrintable(p.first));
            sizes << QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
        }
        sizes.sort();

        const QString source = qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR");
        QVERIFY(!source.isEmpty());
        const QDateTime taken = QFileInfo(pictures_dir() + QStringLiteral("/captions.tsv")).lastModified();
        int forms = 0;
        for (const QFileInfo &dir : QDir(source).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (dir.fileName().startsWith(QLatin1String("build")))
                continue;
            for (const QFileInfo &form : QDir(dir.filePath()).entryInfoList({QStringLiteral("*.ui")})) {
                ++forms;
                QVERIFY2(form.lastModified() <= taken, qPrintable(form.fileName() + QStringLiteral(" is newer than the pictures")));
            }
        }
        QVERIFY(forms >= 6);

        if (!have_pdfimages() || !have_pdftotext())
            QSKIP("pdfimages / pdftotext (poppler-utils) are not installed");
        QCOMPARE(pdf_image_sizes(manual_path()), sizes);
        const QString text = squeezed(pdf_text(manual_path()));
        for (int i = 0; i < pictures.size(); ++i) {
            const QString caption = squeezed(QStringLiteral("图 %1 / Figure %1").arg(i + 1));
            QVERIFY2(text.contains(caption), qPrintable(caption));
        }
        for (const auto &p : pictures)
            QVERIFY2(text.contains(squeezed(p.second)), qPrintable(p.second));
    }

    // Sections flow: a page ends early only where the next chapter begins, and then the pages
    // are as many as the text and pictures need. (A picture or heading that does not fit moves
    // to the next page whole; pictures are at most half a page, so a page is never less than
    // about half used before a page that goes on with the same chapter.)
    void built_manual_breaks_pages_only_before_chapters()
    {
        if (!have_pdftotext())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QStringList chapters = headings(source_markdown(), 1);
        QVERIFY(chapters.size() >= 13);
        const QList<page_layout> pages = pdf_layout(manual_path());
        QCOMPARE(pages.size(), pdf_pages(manual_path()));
        int chapter_starts = 0;
        for (int i = 0; i < pages.size(); ++i) {
            const bool starts_chapter = std::any_of(chapters.begin(), chapters.end(),
                                                    [&](const QString &h) { return pages[i].text.startsWith(h); });
            chapter_starts += starts_chapter ? 1 : 0;
            if (i > 0 && !starts_chapter) {
                QVERIFY2(pages[i - 1].filled > 0.4,
                         qPrintable(QStringLiteral("page %1 is %2% used, yet page %3 goes on with the same chapter")
                                        .arg(i)
                                        .arg(int(pages[i - 1].filled * 100))
                                        .arg(i + 1)));
            }
        }
        QCOMPARE(chapter_starts, chapters.size());
        // Room is left empty only at a chapter's end or before a picture or heading that moved on:
        // all that room together stays under a page a chapter, however long the manual grows.
        double empty = 0;
        for (const page_layout &page : pages)
            empty += 1.0 - page.filled;
        qInfo("%d pages, %.1f of them left empty, %d chapters", int(pages.size()), empty, int(chapters.size()));
        QVERIFY2(empty <= chapters.size(), qPrintable(QString::number(empty)));
    }

    void tool_places_pictures_with_numbered_captions_and_refuses_missing_ones()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(dir.filePath(QStringLiteral("w.png"))));
        QFile captions(dir.filePath(QStringLiteral("captions.tsv")));
        QVERIFY(captions.open(QIODevice::WriteOnly));
        captions.write("w.png\t窗口 / A window\n");
        captions.close();
        const QString md = dir.filePath(QStringLiteral("m.md"));
        auto write_md = [&md](const QByteArray &text) {
            QFile f(md);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));

        QVERIFY(write_md("# One\n\nText.\n\n![w](pictures/w.png)\n\nMore.\n"));
        run_result r = run(tool_path(), {md, pdf, dir.path()});
        QCOMPARE(r.code, 0);
        if (have_pdfimages())
            QCOMPARE(pdf_image_sizes(pdf), QStringList{QStringLiteral("300x200")});
        if (have_pdftotext())
            QVERIFY(squeezed(pdf_text(pdf)).contains(QStringLiteral("图1/Figure1窗口/Awindow")));

        // A picture that was not taken, or one the Markdown reader would drop (no alt text),
        // fails the build instead of printing a manual without it.
        QFile::remove(pdf);
        QVERIFY(write_md("# One\n\n![x](pictures/missing.png)\n"));
        r = run(tool_path(), {md, pdf, dir.path()});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("cannot read the picture")));
        QVERIFY(!QFileInfo::exists(pdf));
        QVERIFY(write_md("# One\n\n![](pictures/w.png)\n"));
        r = run(tool_path(), {md, pdf, dir.path()});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("understood")));
    }

    void tool_fails_loudly_on_bad_input()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
        run_result r = run(tool_path(), {dir.filePath(QStringLiteral("missing.md")), pdf});
        QVERIFY(r.code != 0);
        QVERIFY(r.err.contains(QStringLiteral("cannot read")));
        QVERIFY(!QFileInfo::exists(pdf));

        r = run(tool_path(), {});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("usage")));
    }
};

QTEST_GUILESS_MAIN(test_manual)
#include "test_manual.moc"
