#include "support/sim_host.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace test_support {
namespace {

constexpr int generous_ms = 30000;  // only a ceiling for a stuck start

sockaddr_in loopback(quint16 port)
{
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

bool listening(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in addr = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

quint16 free_local_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

sim_host::~sim_host() { kill(); }

bool sim_host::start(const QString &nodes, QString *why, const QStringList &options)
{
    const quint16 port = free_local_port();
    if (port == 0) {
        *why = QStringLiteral("no free local port");
        return false;
    }
    interfaces_.clear();
    for (int k = 0; k <= nodes.count(QLatin1Char(';')); ++k)
        interfaces_ << QStringLiteral("tcp://127.0.0.1:%1/can%2").arg(port).arg(k);
    return launch(nodes, why, options);
}

bool sim_host::join(const QString &interface, const QString &nodes, QString *why, const QStringList &options)
{
    interfaces_ = QStringList{interface};
    return launch(nodes, why, options);
}

bool sim_host::launch(const QString &nodes, QString *why, const QStringList &options)
{
    const QString bin_dir = qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath());
    const QString program = bin_dir + QStringLiteral("/velmora-sim");
    if (!QFileInfo::exists(program)) {
        *why = program + QStringLiteral(" missing");
        return false;
    }
    interface_ = interfaces_.first();
    const quint16 port = static_cast<quint16>(QUrl(interface_).port());
    QStringList buses;
    for (const QString &i : interfaces_)
        buses << QStringLiteral("virtualcan:") + i;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, QStringList{QStringLiteral("--bus"), buses.join(QLatin1Char(',')),
                                        QStringLiteral("--nodes"), nodes, QStringLiteral("--exit-with-parent")}
                                + options);
    if (!process_.waitForStarted(generous_ms)) {
        *why = QStringLiteral("velmora-sim did not start");
        return false;
    }
    const QDeadlineTimer deadline(generous_ms);
    while (!listening(port)) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running) {
            *why = QStringLiteral("velmora-sim never served its bus");
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

void sim_host::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(generous_ms);
}

}  // namespace test_support
