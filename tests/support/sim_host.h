#pragma once
// velmora-sim as a separate process hosting a private virtual CAN bus: the bus's TCP server
// runs inside that process on a free local port, so a test can take the whole bus away by
// killing it, and parallel tests never share frames.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace test_support {

// A local TCP port nobody listens on right now, from the kernel's ephemeral range; 0 if none.
quint16 free_local_port();

class sim_host {
public:
    ~sim_host();
    // Starts velmora-sim with these joints (and further options) and waits until its bus
    // accepts connections. Joints with ';' between lists serve as many buses on the one port
    // (can0, can1, ...), each with its list.
    bool start(const QString &nodes, QString *why, const QStringList &options = {});
    // Starts velmora-sim as a client of a bus somebody else hosts ("tcp://127.0.0.1:PORT/can0").
    bool join(const QString &interface, const QString &nodes, QString *why, const QStringList &options = {});
    // "tcp://127.0.0.1:PORT/can0": the interface to give the virtualcan plugin.
    QString interface() const { return interface_; }
    // Bus k's interface ("tcp://127.0.0.1:PORT/can1").
    QString interface(int bus) const { return interfaces_.value(bus); }
    void kill();

private:
    QProcess process_;
    bool launch(const QString &nodes, QString *why, const QStringList &options);

    QString interface_;
    QStringList interfaces_;
};

}  // namespace test_support
