#pragma once
// The messages between the program and its script engine process (sequences/engine_process.h):
// the engine asks for one bus action or one piece of bookkeeping at a time and waits for its
// reply. Every message has the same small layout, length-prefixed, little-endian:
//
//   u32 size of what follows | u8 kind | i32 node | u8 flag | u8 length | u16 index | u8 sub |
//   8 bytes frame | i32 value | 3 x f64 numbers | 3 x (u32 size in bytes, UTF-16 text)
//
//   kind          engine -> program                        reply (program -> engine)
//   script        (program -> engine first) texts: script, file name
//   custom        node, frame = request bytes, length,      flag = answered, value
//                 flag = read
//   sdo_transact  node, frame = request, index:sub of the   flag = answered, frame = the answer
//                 transfer (segments name no object)
//   sdo_send      node, frame                               (none)
//   guard         node, flag = engage (else release)        flag = guarded, texts[0] = note
//   check         flag = passed | numeric << 1, numbers =   flag = recorded
//                 tolerance, actual number; texts = name,
//                 actual, expected
//   log           texts[0]                                  flag = written
//   moved         node, flag = protocol                     (none)
//   action        texts[0]                                  (none)
//   firmware      node, flag = force, texts[0] = the image   flag = an update ran, texts[0] = why
//                                                           not, texts[1] = its report (JSON)
//   done          texts[0] = the script's error, empty when none; the engine exits after it
//   boot          texts[0] = a bench's node list             flag = ran to its end, node = nodes,
//                                                          value = nodes done, texts = names
//                                                          ("J3=3" a line), summary, error
//   joints        (nothing)                                 texts[0] = the joints known, one a
//                                                          line (encode_known_joints)
//   named         texts[0] = a joint's name                 flag = found, node = its bus and node,
//                                                          value = its protocol
//   stop_listed   texts[0] = the joints the script stopped  flag = every stop confirmed, texts[0]
//                 itself (encode_known_joints)             = a line per joint stopped, as logged
//
// A node names its bus in bits 16-23 (0 for bus 0, so that bus 0's messages read as before);
// bits 0-15 are the node.
//
// The engine may die in the middle of a message and write anything before: the reader takes
// only whole messages of a known kind within its size limit and says so once the stream is
// garbled, never reading beyond what it was given.
#include "motion/joints.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace objects {
struct firmware_report;
}

namespace sequences {

enum class wire_kind : uint8_t {
    script = 1,
    custom,
    sdo_transact,
    sdo_send,
    guard,
    check,
    log,
    moved,
    action,
    done,
    reply,
    boot,
    firmware,
    joints,
    named,
    stop_listed,
};

struct wire_message {
    wire_kind kind = wire_kind::reply;
    int32_t node = 0;
    uint8_t flag = 0;
    uint8_t length = 0;
    uint16_t index = 0;
    uint8_t sub = 0;
    uint8_t frame[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int32_t value = 0;
    double numbers[3] = {0, 0, 0};
    QString texts[3];
};

inline int32_t wire_joint(int bus, int node) { return static_cast<int32_t>((bus & 0xFF) << 16 | (node & 0xFFFF)); }
inline int wire_bus(int32_t node) { return (node >> 16) & 0xFF; }
inline int wire_node(int32_t node) { return node & 0xFFFF; }

// The message with its length prefix.
QByteArray encode(const wire_message &m);

// Reads messages out of a byte stream as it arrives.
class wire_reader {
public:
    enum class status { more, message, garbled };

    // max_size: the largest message taken (its size field); anything larger garbles the stream.
    explicit wire_reader(uint32_t max_size) : max_size_(max_size) {}

    void feed(const char *data, int size) { buffer_.append(data, size); }
    // The next whole message into *out, more when none is complete yet; once garbled, always.
    status next(wire_message *out);
    // Bytes received but not yet a whole message.
    int pending() const { return buffer_.size(); }

private:
    uint32_t max_size_;
    QByteArray buffer_;
    bool garbled_ = false;
};

// A firmware report as a reply's text, and back; a text that is no report gives one of node
// 0 with nothing read.
QString encode_firmware_report(const objects::firmware_report &r);
objects::firmware_report decode_firmware_report(const QString &text);

// A joint a window lists or a discovery found, as joints() hands it to a script.
struct known_joint {
    motion::joint_key key;
    QString name;
    bool enabled = false;  // the Joints window enabled it, or saw it enabled
};
// "canopen 1 2 0 J2": protocol, bus, node, enabled, name (the rest of the line), one a line.
QString encode_known_joints(const std::vector<known_joint> &joints);
// What the program wrote; a line that is no joint (a node outside 1..127, a bus outside the
// buses there can be, an unknown protocol) is left out.
std::vector<known_joint> decode_known_joints(const QString &text);

// Longest text a message carries, bytes: longer ones are cut, with "…" at the end.
constexpr int wire_text_limit = 256 * 1024;
// A message from the engine: three texts at the limit, with room to spare.
constexpr uint32_t wire_engine_message_limit = 4u * wire_text_limit;
// A message to the engine: the script itself.
constexpr uint32_t wire_script_limit = 64u << 20;

}  // namespace sequences
