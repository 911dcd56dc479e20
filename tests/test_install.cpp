// `cmake --install` of the current build into a scratch prefix: the program and the simulator
// in bin/, the documents and the printed manual in share/velmora/Document, the icon and a valid
// desktop entry; the program finds its documents there whatever the working folder. Then the
// Debian package of the same build: its control data and lintian's verdict, and the program
// unpacked from it, worked offscreen from an unrelated folder by the preloaded agent
// (tests/agent/).
#include "base/document_lookup.h"
#include "custom_protocol/xml_lookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
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

QString run(const QString &program, const QStringList &args, int *code, const QString &folder = QString(),
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(folder);
    p.setProcessEnvironment(env);
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
    QString build;
    QString deb;  // the package built by the first package case

private slots:
    void initTestCase()
    {
        const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
        if (cmake.isEmpty())
            QSKIP("cmake is not on PATH");
        QVERIFY(prefix.isValid());
        build = QDir(bin_dir() + QStringLiteral("/..")).absolutePath();
        int code = 0;
        const QString out = run(cmake, {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix.path()}, &code);
        QVERIFY2(code == 0, qPrintable(out));
    }

    void programs_go_to_bin_documents_and_manual_to_share()
    {
        const QDir root(prefix.path());
        const QFileInfo program(root.filePath(QStringLiteral("bin/velmora")));
        QVERIFY(program.isFile() && program.isExecutable());
        if (QFileInfo::exists(bin_dir() + QStringLiteral("/velmora-sim")))
            QVERIFY(QFileInfo(root.filePath(QStringLiteral("bin/velmora-sim"))).isExecutable());

        QFile manual(root.filePath(QStringLiteral("share/velmora/Document/Velmora用户手册_Ver1.1.pdf")));
        QVERIFY(manual.open(QIODevice::ReadOnly));
        QVERIFY(manual.read(5) == "%PDF-");

        // Every shipped document travels along; the manual's source and placeholders do not.
        const QDir source(qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document"));
        for (const QString &name : source.entryList({QStringLiteral("*.xml")}, QDir::Files))
            QVERIFY2(root.exists(QStringLiteral("share/velmora/Document/") + name), qPrintable(name));
        QVERIFY(!root.exists(QStringLiteral("share/velmora/Document/manual")));
        QVERIFY(!root.exists(QStringLiteral("share/velmora/Document/.gitkeep")));
        QVERIFY(!root.exists(QStringLiteral("bin/Document")));
        QVERIFY(root.exists(QStringLiteral("share/doc/velmora/copyright")));
    }

    void documents_are_found_beside_the_program_or_in_its_share_folder()
    {
        const QString err = QStringLiteral("Document/Err.xml");
        const QString installed_bin = prefix.filePath(QStringLiteral("bin"));
        const QString installed = prefix.filePath(QStringLiteral("share/velmora/Document/Err.xml"));
        QCOMPARE(document_lookup::locate(err, installed_bin), installed);
        QCOMPARE(document_lookup::locate(QStringLiteral("Document/Velmora用户手册_Ver1.1.pdf"), installed_bin),
                 prefix.filePath(QStringLiteral("share/velmora/Document/Velmora用户手册_Ver1.1.pdf")));
        // The build tree: beside the program. A file found nowhere is looked for there, so that
        // it reads as missing rather than as something in the working folder.
        QCOMPARE(document_lookup::locate(err, bin_dir()), QDir(bin_dir()).filePath(err));
        QCOMPARE(document_lookup::locate(QStringLiteral("Document/absent.xml"), installed_bin),
                 prefix.filePath(QStringLiteral("bin/Document/absent.xml")));

        // Started from the desktop menu the working folder is $HOME: the running program still
        // reads its own documents (this suite runs from the build tree), and a Document/ that
        // happens to lie in the working folder is not taken for them.
        QTemporaryDir elsewhere;
        QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("Document")));
        QFile decoy(elsewhere.filePath(err));
        QVERIFY(decoy.open(QIODevice::WriteOnly));
        decoy.write("<errors><error id=\"0\"><text>decoy</text></error></errors>");
        decoy.close();
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        const QString text = custom_xml::lookup_xml_text(document_lookup::locate(err), 0);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(text, QStringLiteral("无错误\nNo error"));
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

    // The package is built from the regular build; a sanitized program is never shipped, and
    // packing one would make the sanitizer runtime a dependency.
    void package_declares_its_contents_and_dependencies()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("sanitizer build: the package is built and checked from the regular build");
#endif
        const QString cpack = QFileInfo(QStandardPaths::findExecutable(QStringLiteral("cmake"))).dir().filePath(
            QStringLiteral("cpack"));
        const QString dpkg_deb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
        if (dpkg_deb.isEmpty() || !QFileInfo(cpack).isExecutable())
            QSKIP("cpack or dpkg-deb is missing (scripts/setup installs them)");
        // The same command as scripts/package after its build.
        int code = 0;
        QString out = run(cpack, {}, &code, build);
        QVERIFY2(code == 0, qPrintable(out));
        deb = QDir(build).filePath(QStringLiteral("velmora_" VELMORA_VERSION "_amd64.deb"));
        QVERIFY2(QFileInfo::exists(deb), qPrintable(out));

        out = run(dpkg_deb, {QStringLiteral("-f"), deb}, &code);
        QCOMPARE(code, 0);
        QVERIFY2(out.contains(QStringLiteral("\nVersion: " VELMORA_VERSION "\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("\nMaintainer: ")), qPrintable(out));
        // Libraries from shlibdeps, and the bus plugins that are only loaded at run time.
        for (const char *dep : {"libqt5widgets5", "libqt5serialbus5 ", "libqt5xml5", "libxlsxwriter", "libc6",
                                "libqt5serialbus5-plugins"})
            QVERIFY2(out.contains(QLatin1String(dep)), dep);
        // The description and the manual page name every window beside the control ones.
        QFile man(qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/resources/man/velmora.1"));
        QVERIFY(man.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(man.readAll()).toLower();
        for (const char *window : {"scope", "object dictionary", "lss", "bus trace", "sequences"})
            QVERIFY2(out.toLower().contains(QLatin1String(window)) && page.contains(QLatin1String(window)), window);

        out = run(dpkg_deb, {QStringLiteral("-c"), deb}, &code);
        QCOMPARE(code, 0);
        for (const char *path : {"./usr/bin/velmora", "./usr/bin/velmora-sim", "./usr/share/velmora/Document/Err.xml",
                                 "./usr/share/velmora/Document/Velmora用户手册_Ver1.1.pdf",
                                 "./usr/share/applications/velmora.desktop",
                                 "./usr/share/icons/hicolor/64x64/apps/velmora.png",
                                 "./usr/share/doc/velmora/copyright", "./usr/share/doc/velmora/changelog.gz",
                                 "./usr/share/man/man1/velmora.1.gz", "./usr/share/man/man1/velmora-sim.1.gz"})
            QVERIFY2(out.contains(QString::fromUtf8(path) + QLatin1Char('\n')), path);

        const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
        if (lintian.isEmpty())
            QSKIP("lintian is not installed (scripts/setup installs it)");
        out = run(lintian, {deb}, &code);
        const QStringList errors = out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^E: ")));
        QVERIFY2(code == 0 && errors.isEmpty(), qPrintable(out));
    }

    void unpacked_package_shows_its_documents_when_started_elsewhere()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("sanitizer build: the package is built and checked from the regular build");
#endif
        if (deb.isEmpty())
            QSKIP("no package was built");
        QTemporaryDir root;
        int code = 0;
        QString out = run(QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")),
                          {QStringLiteral("-x"), deb, root.path()}, &code);
        QVERIFY2(code == 0, qPrintable(out));

        // Marks the unpacked error document, so that the text shown can only have come from it.
        const QString share = root.filePath(QStringLiteral("usr/share/velmora/Document/"));
        QFile err(share + QStringLiteral("Err.xml"));
        QVERIFY(err.open(QIODevice::ReadOnly));
        QByteArray content = err.readAll();
        err.close();
        QVERIFY(content.contains("No error</text>"));
        content.replace("No error</text>", "No error (unpacked)</text>");
        QVERIFY(err.open(QIODevice::WriteOnly | QIODevice::Truncate));
        err.write(content);
        err.close();

        QTemporaryDir elsewhere;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VELMORA_CAN"), QStringLiteral("sim"));
        env.insert(QStringLiteral("VELMORA_SIM_NODES"), QStringLiteral("1:10231"));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VELMORA_PACKAGE_AGENT));
        env.remove(QStringLiteral("VELMORA_CAN_TRACE"));
        out = run(root.filePath(QStringLiteral("usr/bin/velmora")), {}, &code, elsewhere.path(), env);
        QVERIFY2(code == 0, qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("velmora-agent: error=无错误\\nNo error (unpacked)\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("velmora-agent: manual=") + share + QStringLiteral("Velmora用户手册_Ver1.1.pdf\n")),
                 qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(test_install)
#include "test_install.moc"
