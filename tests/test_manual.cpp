// The user manual: the PDF the build prints for the Help button, and the printing tool itself
// (chapter page breaks, page numbers, Chinese text that survives as text, refusal of bad input).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int generous_ms = 60000;  // only a ceiling for a stuck child, never a speed check

QString bin_dir()
{
    const QString env = qEnvironmentVariable("VELMORA_BIN_DIR");
    return env.isEmpty() ? QCoreApplication::applicationDirPath() : env;
}

QString manual_path() { return bin_dir() + QStringLiteral("/Document/Velmora用户手册_Ver1.1.pdf"); }

QString tool_path() { return QDir(bin_dir() + QStringLiteral("/../tools")).absoluteFilePath(QStringLiteral("velmora-manual")); }

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
    }

    void tool_breaks_pages_at_chapters_and_numbers_them()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString md = dir.filePath(QStringLiteral("m.md"));
        const QString pdf = dir.filePath(QStringLiteral("输出.pdf"));  // the real name is Chinese too
        QFile f(md);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# 标题 / Title\n\nFirst page.\n\n"
                "# 第二章 / Two\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n```\nline one\n\nline two\n```\n\n"
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
