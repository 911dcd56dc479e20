// velmora-manual: turns the user manual's Markdown source into the A4 PDF that the main window's
// Help button opens. Runs at build time on the offscreen platform:
//   velmora-manual manual.md "Velmora用户手册_Ver1.1.pdf" [PICTURES_DIR]
// Pictures are written ![name](pictures/FILE.png) in the source and read from PICTURES_DIR, whose
// captions.tsv (FILE, tab, caption) gives each its caption; the tool numbers them as figures.
// Kept out of the program itself: it needs nothing but Qt's text layout and PDF writer.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The manual is half Chinese: a font without CJK glyphs would print boxes, so prefer the one
// scripts/setup installs and fall back to any installed family that covers Simplified Chinese.
QString body_family()
{
    const QStringList families = QFontDatabase().families();
    for (const char *wanted : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC"}) {
        if (families.contains(QString::fromLatin1(wanted)))
            return QString::fromLatin1(wanted);
    }
    const QStringList chinese = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
    if (!chinese.isEmpty())
        return chinese.first();
    std::fprintf(stderr, "velmora-manual: no font with Chinese glyphs is installed; "
                         "install fonts-wqy-microhei (scripts/setup does)\n");
    return QString();
}

const QColor heading_colour(0x1f, 0x3a, 0x5f);
const QColor rule_colour(0x9a, 0xa8, 0xb8);

bool is_code(const QTextBlock &block)
{
    const QTextBlockFormat bf = block.blockFormat();
    return block.isValid() && (bf.nonBreakableLines() || bf.hasProperty(QTextFormat::BlockCodeFence));
}

// The Markdown reader makes one block per code line and leaves an empty block after the fence:
// fold that one away so a listing does not end in a blank grey band (blank lines inside stay).
void drop_empty_code_lines(QTextDocument &doc)
{
    for (QTextBlock block = doc.begin(); block.isValid();) {
        const QTextBlock next = block.next();
        if (is_code(block) && block.text().isEmpty() && !is_code(next) && block.previous().isValid()) {
            QTextCursor c(block);
            c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
            c.removeSelectedText();
        }
        block = next;
    }
}

// Block margins are in device pixels; pt converts points at the writer's resolution.
void style_headings_and_code(QTextDocument &doc, qreal pt)
{
    QTextCursor cursor(&doc);
    bool first_chapter = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat bf = block.blockFormat();
        const int level = bf.headingLevel();
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
        if (level > 0) {
            // Every chapter starts on a fresh page; the title page is the first chapter.
            if (level == 1) {
                if (!first_chapter)
                    bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                first_chapter = false;
            }
            bf.setTopMargin((level == 1 ? 4 : 12) * pt);
            bf.setBottomMargin((level == 1 ? 10 : 4) * pt);
            cursor.setBlockFormat(bf);
            QTextCharFormat cf;
            cf.setForeground(heading_colour);
            cursor.mergeCharFormat(cf);
        } else if (is_code(block)) {
            // One grey band per listing: space only above its first and below its last line.
            bf.setBackground(QColor(0xf0, 0xf2, 0xf5));
            bf.setLeftMargin(8 * pt);
            bf.setTopMargin(is_code(block.previous()) ? 0 : 4 * pt);
            bf.setBottomMargin(is_code(block.next()) ? 0 : 6 * pt);
            cursor.setBlockFormat(bf);
        }
    }
}

// Table measures, unlike block margins, are taken as pixels at 96 dpi and scaled by the layout.
void style_tables(QTextDocument &doc)
{
    std::vector<QTextTable *> tables;
    std::vector<QTextFrame *> pending{doc.rootFrame()};
    while (!pending.empty()) {
        QTextFrame *frame = pending.back();
        pending.pop_back();
        for (QTextFrame *child : frame->childFrames()) {
            if (auto *table = qobject_cast<QTextTable *>(child))
                tables.push_back(table);
            pending.push_back(child);
        }
    }
    for (QTextTable *table : tables) {
        QTextTableFormat tf = table->format();
        tf.setBorder(0.8);
        tf.setBorderBrush(rule_colour);
        tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        tf.setCellPadding(4);
        tf.setCellSpacing(0);
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tf.setHeaderRowCount(1);
        tf.setTopMargin(4);
        tf.setBottomMargin(8);
        table->setFormat(tf);
        for (int c = 0; c < table->columns(); ++c) {
            QTextTableCell cell = table->cellAt(0, c);
            QTextCharFormat cf = cell.format();
            cf.setBackground(QColor(0xdd, 0xe4, 0xee));
            cell.setFormat(cf);
        }
    }
}

// The format of the picture a block shows; not an image format when it shows none.
QTextCharFormat block_image(const QTextBlock &block)
{
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat cf = it.fragment().charFormat();
        if (cf.isImageFormat())
            return cf;
    }
    return QTextCharFormat();
}

QHash<QString, QString> read_captions(const QString &dir)
{
    QHash<QString, QString> captions;
    QFile f(dir + QStringLiteral("/captions.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return captions;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab > 0)
            captions.insert(QString::fromUtf8(line.left(tab)), QString::fromUtf8(line.mid(tab + 1)).trimmed());
    }
    return captions;
}

// Loads every picture the text names, fits it to the page (never enlarged, at most max_height
// tall; sizes are pixels at 96 dpi, as the layout takes them), centres it and puts a numbered
// caption under it. Image blocks are returned for keep_together. False, after saying why, when
// a picture is missing: a manual without its pictures is not a manual to ship.
bool place_pictures(QTextDocument &doc, int expected, const QString &dir, qreal max_width, qreal max_height, qreal pt,
                    std::vector<int> &image_blocks)
{
    const QHash<QString, QString> captions = read_captions(dir);
    int figure = 0;
    int named = 0;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QTextCharFormat shown = block_image(block);
        if (!shown.isImageFormat())
            continue;
        QTextImageFormat image_format = shown.toImageFormat();
        const QString name = image_format.name();
        const QString file = QFileInfo(name).fileName();
        ++named;
        const QImage image(dir.isEmpty() ? name : dir + QLatin1Char('/') + file);
        if (image.isNull()) {
            std::fprintf(stderr, "velmora-manual: cannot read the picture %s (pictures: %s)\n", qPrintable(name),
                         dir.isEmpty() ? "none given" : qPrintable(dir));
            return false;
        }
        doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
        const qreal scale = std::min({1.0, max_width / image.width(), max_height / image.height()});
        QTextCursor c(block);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        image_format.setWidth(image.width() * scale);
        image_format.setHeight(image.height() * scale);
        c.setCharFormat(image_format);
        QTextBlockFormat bf = block.blockFormat();
        bf.setAlignment(Qt::AlignHCenter);
        bf.setTopMargin(6 * pt);
        bf.setBottomMargin(2 * pt);
        c.setBlockFormat(bf);
        image_blocks.push_back(block.blockNumber());

        QTextBlockFormat caption_block;
        caption_block.setAlignment(Qt::AlignHCenter);
        caption_block.setBottomMargin(8 * pt);
        QTextCharFormat caption_format;
        caption_format.setFontPointSize(8.5);
        caption_format.setForeground(heading_colour);
        c.movePosition(QTextCursor::EndOfBlock);
        c.insertBlock(caption_block, caption_format);
        ++figure;
        const QString caption = captions.value(file);
        c.insertText(QStringLiteral("图 %1 / Figure %1").arg(figure) + (caption.isEmpty() ? QString() : QStringLiteral("  ") + caption));
        block = c.block();
    }
    // The Markdown reader drops a picture without alt text silently; say so rather than print a
    // manual that lacks it.
    if (named != expected) {
        std::fprintf(stderr, "velmora-manual: %d pictures in the text, %d understood: write each as ![name](FILE)\n",
                     expected, named);
        return false;
    }
    return true;
}

// Lines of a short listing: these move to the next page together rather than split.
bool in_short_listing(const QTextBlock &block)
{
    if (!is_code(block))
        return false;
    QTextBlock first = block;
    while (is_code(first.previous()))
        first = first.previous();
    int lines = 0;
    for (QTextBlock b = first; is_code(b); b = b.next())
        ++lines;
    return lines <= 12;
}

// The layout lets a heading end a page without its text, a caption start a page without its
// picture and a short listing break in two. Break before such a heading, picture or listing
// instead, until no page starts that way (each round moves a block to the next page only, so
// the rounds end).
void keep_together(QTextDocument &doc, const std::vector<int> &image_blocks, qreal page_height)
{
    // By lines, not by the block's box: a line that does not fit is moved down inside its block,
    // whose box still starts on the page before.
    auto page_of = [&](const QTextBlock &b) {
        const qreal top = doc.documentLayout()->blockBoundingRect(b).top();
        const QTextLayout *l = b.layout();
        return int((top + (l && l->lineCount() > 0 ? l->lineAt(0).y() : 0)) / page_height);
    };
    auto page_of_bottom = [&](const QTextBlock &b) {
        const QRectF box = doc.documentLayout()->blockBoundingRect(b);
        const QTextLayout *l = b.layout();
        if (!l || l->lineCount() == 0)
            return int((box.bottom() - 1) / page_height);
        const QTextLine last = l->lineAt(l->lineCount() - 1);
        return int((box.top() + last.y() + last.height() - 1) / page_height);
    };
    for (int round = 0; round < 64; ++round) {
        bool moved = false;
        for (QTextBlock block = doc.begin(); block.isValid() && !moved; block = block.next()) {
            const QTextBlock next = block.next();
            if (!next.isValid())
                break;
            const bool heading = block.blockFormat().headingLevel() > 1;
            const bool picture =
                std::find(image_blocks.begin(), image_blocks.end(), block.blockNumber()) != image_blocks.end();
            const bool listing = is_code(next) && in_short_listing(block);
            if (!heading && !picture && !listing)
                continue;
            // A picture moved down inside a box that starts on the page before would be painted
            // (clipped away, but embedded) on that page too.
            const bool split_box =
                picture && int(doc.documentLayout()->blockBoundingRect(block).top() / page_height) != page_of(block);
            if (!split_box && page_of(next) == page_of_bottom(block))
                continue;
            QTextBlock first = block;  // a listing moves from its first line
            while (listing && is_code(first.previous()))
                first = first.previous();
            block = first;
            QTextBlockFormat bf = block.blockFormat();
            if (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
                continue;
            bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).setBlockFormat(bf);
            // The layout redoes only the changed block; everything after it moves too.
            doc.markContentsDirty(0, doc.characterCount());
            moved = true;
        }
        if (!moved)
            return;
    }
}

void draw_footer(QPainter &p, const QString &family, const QRectF &area, int page, int pages)
{
    p.save();
    p.setPen(QPen(rule_colour, p.device()->logicalDpiX() / 144.0));
    p.drawLine(area.topLeft(), area.topRight());
    QFont f(family);
    f.setPointSizeF(8);
    p.setFont(f);
    p.setPen(Qt::darkGray);
    const QRectF text_area = area.adjusted(0, area.height() * 0.25, 0, 0);
    p.drawText(text_area, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Velmora 用户手册 / User Manual  Ver1.1"));
    p.drawText(text_area, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 / %2").arg(page).arg(pages));
    p.restore();
}

}  // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: velmora-manual MANUAL.md OUTPUT.pdf [PICTURES_DIR]\n");
        return 2;
    }
    const QString pictures_dir = args.size() == 4 ? args[3] : QString();
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "velmora-manual: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    const QString family = body_family();
    if (family.isEmpty())
        return 1;

    const QString out_path = args[2];
    QPdfWriter writer(out_path);
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(18, 16, 18, 14), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("Velmora 用户手册 / User Manual Ver1.1"));
    writer.setCreator(QStringLiteral("velmora-manual"));

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    QFont body(family);
    body.setPointSizeF(10);
    doc.setDefaultFont(body);
    doc.setDocumentMargin(0);
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    const qreal pt = writer.resolution() / 72.0;
    drop_empty_code_lines(doc);
    style_headings_and_code(doc, pt);
    style_tables(doc);

    // The painter's origin is the top-left corner inside the margins; keep a strip for the footer.
    const qreal width = writer.width();
    const qreal footer = writer.resolution() * 0.30;  // about 7.6 mm
    const qreal body_height = writer.height() - footer;
    // Pictures are sized in pixels at 96 dpi; none takes more than half a page, so that a
    // picture moved to the next page leaves at most half a page empty.
    const qreal to_96dpi = 96.0 / writer.resolution();
    std::vector<int> image_blocks;
    const int pictures_named = int(markdown.count(QRegularExpression(QStringLiteral("!\\[[^\\]\\n]*\\]\\([^)\\n]+\\)"))));
    if (!place_pictures(doc, pictures_named, pictures_dir, width * to_96dpi, body_height * to_96dpi * 0.5, pt, image_blocks))
        return 1;
    doc.setPageSize(QSizeF(width, body_height));
    keep_together(doc, image_blocks, body_height);
    const int pages = doc.pageCount();

    QPainter painter;
    if (!painter.begin(&writer)) {
        std::fprintf(stderr, "velmora-manual: cannot write %s\n", qPrintable(out_path));
        return 1;
    }
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        const QRectF view(0, page * body_height, width, body_height);
        painter.save();
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = view;
        ctx.palette.setColor(QPalette::Text, Qt::black);
        doc.documentLayout()->draw(&painter, ctx);
        painter.restore();
        draw_footer(painter, family, QRectF(0, body_height, width, footer), page + 1, pages);
    }
    if (!painter.end()) {
        std::fprintf(stderr, "velmora-manual: writing %s failed\n", qPrintable(out_path));
        return 1;
    }
    std::printf("velmora-manual: %s, %d pages\n", qPrintable(QFileInfo(out_path).fileName()), pages);
    return 0;
}
