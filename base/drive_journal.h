#pragma once
// The journal of temporary changes to drives: every change Velmora makes to a drive only for a
// while (the scope's borrowed TPDOs, the heartbeat guard of an enabled joint) is written here,
// in the settings file, before the change is made, with the writes that put the values found
// back, and removed once they are back. An entry still here at the next connect is a change a
// killed or crashed program left behind.
//
// In the settings file each entry is a key of the group drive_journal:
//
//   [drive_journal]
//   bus0-node5-tpdo3=TPDO 3 (0x1802/0x1A02) | 1802:01=80000385/4 1A02:00=0/1 1A02:01=60410010/4? ...
//
// the human name, then the writes in order: index:sub=value/size in hex, "?" after a write the
// drive need not take back.
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace drive_journal {

struct write {
    uint16_t index = 0;
    uint8_t sub = 0;
    uint32_t value = 0;
    int size = 4;  // 1, 2 or 4 bytes
    bool may_fail = false;
    bool operator==(const write &o) const
    {
        return index == o.index && sub == o.sub && value == o.value && size == o.size && may_fail == o.may_fail;
    }
};

struct entry {
    int bus = 0;
    int node = 0;
    // What was changed, unique on the node: "guard", "tpdo3".
    QString kind;
    // For the user: "TPDO 3 (0x1802/0x1A02)".
    QString name;
    // The writes that put the values found back, in the order they go.
    std::vector<write> restore;
};

// Writes (or replaces) the entry.
void put(const entry &e);
void remove(int bus, int node, const QString &kind);
std::optional<entry> find(int bus, int node, const QString &kind);
// The entries of one node, or of every node.
std::vector<entry> of_node(int bus, int node);
std::vector<entry> all();

// The settings value of an entry and back; nullopt for a value that is no entry.
QString encode(const entry &e);
std::optional<entry> decode(const QString &key, const QString &value);

}  // namespace drive_journal
