#pragma once
// A bench: the nodes of one CAN network and how each is to be configured, as CiA 306-3 gives
// them, a node list (.cpj) with one DCF per node beside it:
//
//   [Topology]
//   NetName=arm            ; the network (one .cpj per bus)
//   Nodes=2                ; how many nodes are present
//   Node2Present=0x01      ; N is the node-ID
//   Node2Name=J2
//   Node2DCFName=J2.dcf    ; a file name beside the .cpj
//   Node5Present=0x01
//   Node5Name=J5
//   Node5DCFName=J5.dcf
//
// Other keys of the format (NetRefd, NodeNRefd, EDSBaseName) are kept where useful, unknown
// keys and other sections ignored. The DCF of a node gives what it must be: [DeviceInfo]
// VendorNumber, ProductNumber, RevisionNumber (else its 0x1018 values), [DeviceComissioning]
// NodeID (the node's, or absent), NodeName, Baudrate and LSS_SerialNumber, by which a node
// without node-ID is found.
//
// Both readers take files from anywhere: bounded, every number checked, the first fault named
// with its file and line.
#include "canopen/lss_master.h"
#include "objects/eds.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace objects {

constexpr qint64 cpj_max_bytes = 256 * 1024;
constexpr int cpj_max_line = 1024;

struct cpj_node {
    int node = 0;
    bool present = false;
    QString name;
    QString dcf_name;
    bool referenced = false;  // NodeNRefd: the DCF is referenced, not the node's own
    int line = 0;             // of its NodeNPresent key
};

struct cpj_network {
    QString net_name;
    QString eds_base_name;  // EDSBaseName: where the DCFs lie, relative to the .cpj; empty beside it
    std::vector<cpj_node> nodes;  // in node order, absent ones too
};

struct cpj_result {
    bool ok = false;
    int error_line = 0;  // 1-based; 0 for a fault of the whole file
    QString error;
    cpj_network network;
};

cpj_result parse_cpj(const QByteArray &text);
QByteArray write_cpj(const cpj_network &network);

// What a node's DCF says it must be. A part of the identity is checked only where known.
struct expected_identity {
    canopen::lss_identity id;
    bool known[4] = {false, false, false, false};
    bool complete() const { return known[0] && known[1] && known[2] && known[3]; }
};
// "厂商/vendor 0x..., 产品/product 0x..., 版本/revision 0x..., 序列号/serial 0x..." of the known parts.
QString identity_parts_text(const canopen::lss_identity &id, const bool known[4]);

struct bench_node {
    int node = 0;
    QString name;          // from the node list, else the DCF's NodeName, else "node N"
    QString dcf_name;
    eds_document dcf;
    expected_identity expected;
    int heartbeat_ms = 0;  // the producer time the DCF gives 0x1017; 0 none
    bool store = false;    // the DCF gives 0x1010:1 the value "save"
};

struct bench_file {
    QString path;
    QString net_name;
    std::vector<bench_node> nodes;  // the present ones, in node order
};

struct bench_result {
    bool ok = false;
    QString error;  // "arm.cpj: 第4行/line 4: ..." or "J2.dcf: 第7行/line 7: ..."
    bench_file bench;
};

// The node list and each present node's DCF.
bench_result read_bench(const QString &cpj_path);
// The name of a node neither the node list nor its DCF names ("node N").
QString unnamed_node(int node);
// The same from texts already read: the node list and a way to get a DCF by its file name
// (false when there is none).
bench_result read_bench_texts(const QByteArray &cpj, const QString &cpj_name,
                              const std::function<bool(const QString &dcf_name, QByteArray *text)> &dcf_text);
// The node of a DCF as a bench reads it, errors naming the DCF's lines.
bool bench_node_of(const eds_document &dcf, bench_node *node, int *error_line, QString *error);

// The file name a node's DCF gets when a bench is saved: its name where that is a safe file
// name (letters, digits, '_', '-'), else "nodeN"; ".dcf" added.
QString dcf_file_name(const QString &node_name, int node);
// The longest node name a node list may give.
constexpr int node_name_max = 64;

// "save" as 0x1010 takes it.
constexpr uint32_t store_signature = 0x65766173;

}  // namespace objects
