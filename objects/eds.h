#pragma once
// Electronic data sheets and device configuration files (CiA 306): an INI-style text whose
// sections name objects ("[1018]") and sub-objects ("[1018sub2]"), with keys such as
// ParameterName, ObjectType, DataType, AccessType, DefaultValue, LowLimit, HighLimit,
// PDOMapping, SubNumber and CompactSubObj; a DCF adds ParameterValue and [DeviceComissioning].
//
//   [1018sub1]                 ; comments start with ';'
//   ParameterName=Vendor-ID
//   ObjectType=0x7
//   DataType=0x0007            ; numbers decimal, 0x-hex or 0-octal
//   AccessType=ro
//   DefaultValue=$NODEID+0x180
//
// The parser takes files from anywhere: it is bounded in size, line length and counts, names
// the line of the first error, and never trusts a number it did not check.
#include "canopen/cia_objects.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>
#include <vector>

namespace objects {

constexpr qint64 eds_max_bytes = 4 * 1024 * 1024;
constexpr int eds_max_line = 4096;
constexpr int eds_max_sections = 20000;
constexpr int eds_max_keys = 200000;
constexpr int eds_max_entries = 65536;
constexpr int eds_max_warnings = 100;

using canopen::object_array;
using canopen::object_domain;
using canopen::object_record;
using canopen::object_var;

struct od_entry {
    uint16_t index = 0;
    uint8_t sub = 0;
    QString name;
    uint16_t type = 0;
    QString access;  // ro, wo, rw, rwr, rww or const
    QString default_value;
    QString low_limit;
    QString high_limit;
    bool pdo_mapping = false;
    QString parameter_value;  // DCF: the value configured or read; empty when none
    bool differs = false;     // the value read is not the default
    int line = 0;             // where the entry's section starts
};

struct od_object {
    uint16_t index = 0;
    QString name;
    uint8_t object_type = object_var;
    std::vector<od_entry> entries;  // by subindex; a VAR has its one entry at sub 0
    int line = 0;
};

using key_values = std::vector<std::pair<QString, QString>>;

struct eds_document {
    key_values file_info;    // keys as written
    key_values device_info;
    std::vector<int> device_info_lines;  // the line of each key of device_info
    int node_id = 0;         // DCF [DeviceComissioning] NodeId; 0 when absent
    key_values commissioning;            // DCF [DeviceComissioning], keys as written
    std::vector<int> commissioning_lines;
    std::vector<od_object> objects;  // by index
};

struct eds_result {
    bool ok = false;
    int error_line = 0;  // 1-based; 0 for a fault of the whole file (size)
    QString error;
    eds_document document;
    // What the file says more than once but means only one way ("键重复/key repeated, [1000]
    // DataType: 第3行与第5行/lines 3 and 5"), at most eds_max_warnings; the first is kept.
    QStringList warnings;
};

eds_result parse_eds(const QByteArray &text);
// The file at path parsed; a failure's error names the file and the line for the user
// ("joint.eds: 第4行/line 4: ...", "无法打开文件/Cannot open PATH").
eds_result read_eds_file(const QString &path);

// What a DCF says of the device it was made from beyond its objects' values: [DeviceInfo]
// VendorNumber, ProductNumber, RevisionNumber, ProductName and [DeviceComissioning] NodeID,
// NodeName, Baudrate (kbit/s), LSS_SerialNumber. Empty texts and 0 are not known: not written.
struct dcf_device {
    int node_id = 0;
    QString node_name;
    int baudrate_kbps = 0;
    QString vendor_number;  // identities as canopen::identity_text writes them
    QString product_number;
    QString revision_number;
    QString serial_number;
    QString product_name;
};
// The device as the document's values give it (1018h subs 1-4, 1008h), for node_id.
dcf_device device_of_values(const eds_document &document, int node_id);

// A DCF of the document: every entry with its ParameterValue when it has one, the device in
// [DeviceInfo] (over what the data sheet said) and [DeviceComissioning], and FileInfo naming
// file_name. A value that is the entry's $NODEID default for the node is written as the
// formula, so that the file fits every node.
QByteArray write_dcf(const eds_document &document, const dcf_device &device, const QString &file_name);
// The same with nothing known of the device but its node-ID.
QByteArray write_dcf(const eds_document &document, int node_id, const QString &file_name);

// A default or limit with the node id put in: "$NODEID+0x180" for node 5 gives "0x185"; any
// plain number comes back unchanged. False when a formula is malformed or its sum passes 64 bits;
// whether the sum fits the entry's type is the caller's to check (the parser refuses a file
// whose formula does not fit for its own node-ID, or node 1 in an EDS).
bool resolve_node_id(const QString &value, int node_id, QString *resolved);
// The same, telling a plain number, a formula resolved, a malformed one and a 64-bit overflow apart.
enum class formula { plain, resolved, malformed, overflow };
formula resolve_formula(const QString &value, int node_id, QString *resolved);

bool access_readable(const QString &access);
bool access_writable(const QString &access);

const od_entry *find_entry(const eds_document &document, uint16_t index, uint8_t sub);
od_entry *find_entry(eds_document &document, uint16_t index, uint8_t sub);

}  // namespace objects
