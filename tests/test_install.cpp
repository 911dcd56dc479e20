// `cmake --install` of the current build into a scratch prefix: the program and the simulator
// land in bin/ with the documents and the printed manual beside them (the program reads
// ./Document and looks for its manual in its own folder), plus the icon and a valid desktop entry.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int generous_ms = 120000;  // only a ceiling for a stuck child, never a speed check

QString bin_dir()
{
    const QString env = qEnvironmentVariable("VELMORA_BIN_DIR");
    return env.isEmpty() ? QCoreApplication::applicationDirPath() : env;
}

QString run(const QString &program, const QStringList &args, int *code)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    *code = -1;
    if (p.waitForFinished(generous_ms) && p.exitStatus() == QProcess::NormalExit)
        *code = p.exitCode();
    return QString::fromUtf8(p.readAll());
}

}  // namespace

class test_install : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

private slots:
    void initTestCase()
    {
        const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
        if (cmake.isEmpty())
            QSKIP("cmake is not on PATH");
        QVERIFY(prefix.isValid());
        const QString build = QDir(bin_dir() + QStringLiteral("/..")).absolutePath();
        int code = 0;
        const QString out = run(cmake, {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix.path()}, &code);
        QVERIFY2(code == 0, qPrintable(out));
    }

    void program_documents_and_manual_go_to_bin()
    {
        const QDir root(prefix.path());
        const QFileInfo program(root.filePath(QStringLiteral("bin/velmora")));
        QVERIFY(program.isFile() && program.isExecutable());
        if (QFileInfo::exists(bin_dir() + QStringLiteral("/velmora-sim")))
            QVERIFY(QFileInfo(root.filePath(QStringLiteral("bin/velmora-sim"))).isExecutable());

        QFile manual(root.filePath(QStringLiteral("bin/Document/Velmora用户手册_Ver1.1.pdf")));
        QVERIFY(manual.open(QIODevice::ReadOnly));
        QVERIFY(manual.read(5) == "%PDF-");

        // Every shipped document travels along; the manual's source and placeholders do not.
        const QDir source(qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document"));
        for (const QString &name : source.entryList({QStringLiteral("*.xml")}, QDir::Files))
            QVERIFY2(root.exists(QStringLiteral("bin/Document/") + name), qPrintable(name));
        QVERIFY(!root.exists(QStringLiteral("bin/Document/manual")));
        QVERIFY(!root.exists(QStringLiteral("bin/Document/.gitkeep")));
    }

    void icon_and_desktop_entry_are_installed_for_the_menu()
    {
        const QDir root(prefix.path());
        const QImage icon(root.filePath(QStringLiteral("share/icons/hicolor/64x64/apps/velmora.png")));
        QCOMPARE(icon.size(), QSize(64, 64));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(icon.depth(), 32);

        const QString desktop = root.filePath(QStringLiteral("share/applications/velmora.desktop"));
        QFile f(desktop);
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        // The menu starts the program by name from PATH and finds the icon by its theme name.
        QVERIFY(lines.contains(QStringLiteral("Exec=velmora")));
        QVERIFY(lines.contains(QStringLiteral("Icon=velmora")));
        QVERIFY(lines.contains(QStringLiteral("Name=Velmora")));
        QVERIFY(lines.contains(QStringLiteral("Categories=Development;Electronics;")));

        const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validate.isEmpty())
            QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
        int code = 0;
        const QString out = run(validate, {desktop}, &code);
        QVERIFY2(code == 0 && out.trimmed().isEmpty(), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(test_install)
#include "test_install.moc"
