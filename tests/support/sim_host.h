#pragma once
// velmora-sim as a separate process hosting a private virtual CAN bus: the bus's TCP server
// runs inside that process on a free local port, so a test can take the whole bus away by
// killing it, and parallel tests never share frames.
#include <QProcess>
#include <QString>

namespace test_support {

// A local TCP port nobody listens on right now, from the kernel's ephemeral range; 0 if none.
quint16 free_local_port();

class sim_host {
public:
    ~sim_host();
    // Starts velmora-sim with these joints and waits until its bus accepts connections.
    bool start(const QString &nodes, QString *why);
    // Starts velmora-sim as a client of a bus somebody else hosts ("tcp://127.0.0.1:PORT/can0").
    bool join(const QString &interface, const QString &nodes, QString *why);
    // "tcp://127.0.0.1:PORT/can0": the interface to give the virtualcan plugin.
    QString interface() const { return interface_; }
    void kill();

private:
    QProcess process_;
    QString interface_;
};

}  // namespace test_support
