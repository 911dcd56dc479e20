// Preloaded (LD_PRELOAD) into an installed or unpacked velmora by test_install: works the windows
// as a user would, through Qt alone, so the shipped program needs no test hook. It connects to
// node 1 on the simulated bus, opens the custom-protocol control window, waits for the polled
// error text and presses Help, then prints what it saw on stdout and ends the program:
//   velmora-agent: error=<text of the Error label, newlines as \n>
//   velmora-agent: manual=<local file Help asked the desktop to open>
// A message box on the way, or a step that does not come within a minute, is printed as well
// and ends the program with code 3.
#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <cstdio>

namespace {

constexpr int tick_ms = 50;
constexpr qint64 give_up_ms = 60000;

void say(const QString &key, const QString &value)
{
    QString line = value;
    line.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    std::printf("velmora-agent: %s=%s\n", qPrintable(key), line.toUtf8().constData());
    std::fflush(stdout);
}

QWidget *shown(const char *class_name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits(class_name))
            return w;
    return nullptr;
}

template <typename T>
T *part(QWidget *window, const char *name)
{
    return window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
}

// Clicks the named button; a window without it is reported, and the step waits for it.
bool press(QWidget *window, const char *name)
{
    auto *b = part<QAbstractButton>(window, name);
    if (b)
        b->click();
    else if (window)
        say(QStringLiteral("missing"), QLatin1String(name));
    return b != nullptr;
}

class agent : public QObject {
    Q_OBJECT

public:
    agent()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "opened");
        connect(&timer, &QTimer::timeout, this, &agent::step);
        timer.start(tick_ms);
        clock.start();
    }

public slots:
    void opened(const QUrl &url) { manual = url.toLocalFile(); }

private:
    void finish(int code)
    {
        timer.stop();
        QCoreApplication::exit(code);
    }

    void step()
    {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            say(QStringLiteral("box"), box ? box->text() : modal->windowTitle());
            modal->close();
            finish(3);
            return;
        }
        if (clock.elapsed() > give_up_ms) {
            say(QStringLiteral("stuck"), QString::number(stage));
            finish(3);
            return;
        }
        QWidget *main = shown("Velmora");
        QWidget *node = shown("Set_node");
        switch (stage) {
        case 0:
            if (press(main, "connect_device"))
                ++stage;
            break;
        case 1:
            if (press(node, "Scan"))
                ++stage;
            break;
        case 2:
            if (auto *list = part<QListWidget>(node, "listWidget_2"); list && list->count() > 0) {
                list->setCurrentRow(0);
                if (press(node, "Connect") && press(main, "sport"))
                    ++stage;
            }
            break;
        case 3:
            if (auto *error = part<QLabel>(shown("control_CAN"), "Error"); error && !error->text().isEmpty()) {
                say(QStringLiteral("error"), error->text());
                if (press(main, "Help")) {
                    say(QStringLiteral("manual"), manual);
                    finish(0);
                }
            }
            break;
        }
    }

    QTimer timer;
    QElapsedTimer clock;
    int stage = 0;
    QString manual;
};

// Runs from QApplication's constructor; the agent starts with the event loop.
void start_agent()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { (new agent)->setParent(QCoreApplication::instance()); },
        Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(start_agent)

#include "drive_installed.moc"
