#include "objects/standard_objects.h"

#include "objects/od_types.h"

namespace objects {
namespace {

struct object_row {
    uint16_t index;
    uint8_t object_type;
    const char *name;
};

struct entry_row {
    uint16_t index;
    uint8_t sub;
    const char *name;
    data_type type;
    const char *access;
    const char *default_value;
    const char *low;
    const char *high;
    bool pdo;
};

const object_row object_rows[] = {
    {0x1000, 7, "Device type"},
    {0x1001, 7, "Error register"},
    {0x1005, 7, "COB-ID SYNC message"},
    {0x1006, 7, "Communication cycle period"},
    {0x1008, 7, "Manufacturer device name"},
    {0x1009, 7, "Manufacturer hardware version"},
    {0x100A, 7, "Manufacturer software version"},
    {0x100C, 7, "Guard time"},
    {0x100D, 7, "Life time factor"},
    {0x1010, 8, "Store parameters"},
    {0x1011, 8, "Restore default parameters"},
    {0x1014, 7, "COB-ID EMCY"},
    {0x1017, 7, "Producer heartbeat time"},
    {0x1018, 9, "Identity object"},
    {0x1400, 9, "RPDO 1 communication parameter"},
    {0x1600, 9, "RPDO 1 mapping parameter"},
    {0x1800, 9, "TPDO 1 communication parameter"},
    {0x1A00, 9, "TPDO 1 mapping parameter"},
    {0x603F, 7, "Error code"},
    {0x6040, 7, "Controlword"},
    {0x6041, 7, "Statusword"},
    {0x6060, 7, "Modes of operation"},
    {0x6061, 7, "Modes of operation display"},
    {0x6064, 7, "Position actual value"},
    {0x6065, 7, "Following error window"},
    {0x606C, 7, "Velocity actual value"},
    {0x6071, 7, "Target torque"},
    {0x6075, 7, "Motor rated current"},
    {0x6077, 7, "Torque actual value"},
    {0x6078, 7, "Current actual value"},
    {0x607A, 7, "Target position"},
    {0x6080, 7, "Max motor speed"},
    {0x6081, 7, "Profile velocity"},
    {0x6083, 7, "Profile acceleration"},
    {0x6084, 7, "Profile deceleration"},
    {0x60C1, 8, "Interpolation data record"},
    {0x60FF, 7, "Target velocity"},
    {0x6502, 7, "Supported drive modes"},
};

const entry_row entry_rows[] = {
    {0x1000, 0, "Device type", data_type::unsigned32, "ro", "0x00020192", "", "", false},
    {0x1001, 0, "Error register", data_type::unsigned8, "ro", "0", "", "", true},
    {0x1005, 0, "COB-ID SYNC message", data_type::unsigned32, "rw", "0x00000080", "", "", false},
    {0x1006, 0, "Communication cycle period", data_type::unsigned32, "rw", "0", "", "", false},
    {0x1008, 0, "Manufacturer device name", data_type::visible_string, "const", "", "", "", false},
    {0x1009, 0, "Manufacturer hardware version", data_type::visible_string, "const", "", "", "", false},
    {0x100A, 0, "Manufacturer software version", data_type::visible_string, "const", "", "", "", false},
    {0x100C, 0, "Guard time", data_type::unsigned16, "rw", "0", "", "", false},
    {0x100D, 0, "Life time factor", data_type::unsigned8, "rw", "0", "", "", false},
    {0x1010, 0, "Highest sub-index supported", data_type::unsigned8, "ro", "1", "", "", false},
    {0x1010, 1, "Save all parameters", data_type::unsigned32, "rw", "1", "", "", false},
    {0x1011, 0, "Highest sub-index supported", data_type::unsigned8, "ro", "1", "", "", false},
    {0x1011, 1, "Restore all default parameters", data_type::unsigned32, "rw", "1", "", "", false},
    {0x1014, 0, "COB-ID EMCY", data_type::unsigned32, "ro", "$NODEID+0x80", "", "", false},
    {0x1017, 0, "Producer heartbeat time", data_type::unsigned16, "rw", "0", "", "", false},
    {0x1018, 0, "Highest sub-index supported", data_type::unsigned8, "ro", "4", "", "", false},
    {0x1018, 1, "Vendor-ID", data_type::unsigned32, "ro", "0x00000000", "", "", false},
    {0x1018, 2, "Product code", data_type::unsigned32, "ro", "0x00000402", "", "", false},
    {0x1018, 3, "Revision number", data_type::unsigned32, "ro", "0x00010000", "", "", false},
    {0x1018, 4, "Serial number", data_type::unsigned32, "ro", "", "", "", false},
    {0x1400, 0, "Highest sub-index supported", data_type::unsigned8, "ro", "2", "", "", false},
    {0x1400, 1, "COB-ID used by RPDO", data_type::unsigned32, "rw", "$NODEID+0x200", "", "", false},
    {0x1400, 2, "Transmission type", data_type::unsigned8, "rw", "255", "", "", false},
    {0x1600, 0, "Number of mapped objects", data_type::unsigned8, "rw", "1", "0", "8", false},
    {0x1600, 1, "Mapped object 1", data_type::unsigned32, "rw", "0x60400010", "", "", false},
    {0x1600, 2, "Mapped object 2", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1600, 3, "Mapped object 3", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1600, 4, "Mapped object 4", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1600, 5, "Mapped object 5", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1600, 6, "Mapped object 6", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1600, 7, "Mapped object 7", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1600, 8, "Mapped object 8", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1800, 0, "Highest sub-index supported", data_type::unsigned8, "ro", "5", "", "", false},
    {0x1800, 1, "COB-ID used by TPDO", data_type::unsigned32, "rw", "$NODEID+0x180", "", "", false},
    {0x1800, 2, "Transmission type", data_type::unsigned8, "rw", "255", "", "", false},
    {0x1800, 3, "Inhibit time", data_type::unsigned16, "rw", "0", "", "", false},
    {0x1800, 5, "Event timer", data_type::unsigned16, "rw", "0", "", "", false},
    {0x1A00, 0, "Number of mapped objects", data_type::unsigned8, "rw", "1", "0", "8", false},
    {0x1A00, 1, "Mapped object 1", data_type::unsigned32, "rw", "0x60410010", "", "", false},
    {0x1A00, 2, "Mapped object 2", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1A00, 3, "Mapped object 3", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1A00, 4, "Mapped object 4", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1A00, 5, "Mapped object 5", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1A00, 6, "Mapped object 6", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1A00, 7, "Mapped object 7", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x1A00, 8, "Mapped object 8", data_type::unsigned32, "rw", "0x00000000", "", "", false},
    {0x603F, 0, "Error code", data_type::unsigned16, "ro", "0", "", "", true},
    {0x6040, 0, "Controlword", data_type::unsigned16, "rww", "0", "", "", true},
    {0x6041, 0, "Statusword", data_type::unsigned16, "ro", "", "", "", true},
    {0x6060, 0, "Modes of operation", data_type::integer8, "rww", "0", "", "", true},
    {0x6061, 0, "Modes of operation display", data_type::integer8, "ro", "0", "", "", true},
    {0x6064, 0, "Position actual value", data_type::integer32, "ro", "", "", "", true},
    {0x6065, 0, "Following error window", data_type::unsigned32, "rw", "20000", "", "", false},
    {0x606C, 0, "Velocity actual value", data_type::integer32, "ro", "", "", "", true},
    {0x6071, 0, "Target torque", data_type::integer16, "rww", "0", "", "", true},
    {0x6075, 0, "Motor rated current", data_type::unsigned32, "rw", "3000", "1", "0x7FFFFFFF", false},
    {0x6077, 0, "Torque actual value", data_type::integer16, "ro", "", "", "", true},
    {0x6078, 0, "Current actual value", data_type::integer16, "ro", "", "", "", true},
    {0x607A, 0, "Target position", data_type::integer32, "rww", "0", "", "", true},
    {0x6080, 0, "Max motor speed", data_type::unsigned32, "rw", "5000", "0", "0x7FFFFFFF", false},
    {0x6081, 0, "Profile velocity", data_type::unsigned32, "rww", "", "0", "0x7FFFFFFF", true},
    {0x6083, 0, "Profile acceleration", data_type::unsigned32, "rw", "", "1", "0x7FFFFFFF", false},
    {0x6084, 0, "Profile deceleration", data_type::unsigned32, "rw", "", "1", "0x7FFFFFFF", false},
    {0x60C1, 0, "Highest sub-index supported", data_type::unsigned8, "ro", "2", "", "", false},
    {0x60C1, 1, "Set-point low word", data_type::unsigned16, "rww", "0", "", "", true},
    {0x60C1, 2, "Set-point high word", data_type::unsigned16, "rww", "0", "", "", true},
    {0x60FF, 0, "Target velocity", data_type::integer32, "rww", "0", "", "", true},
    {0x6502, 0, "Supported drive modes", data_type::unsigned32, "ro", "0x000003CD", "", "", false},
};

}  // namespace

eds_document standard_objects()
{
    eds_document d;
    for (const object_row &o : object_rows) {
        od_object object;
        object.index = o.index;
        object.object_type = o.object_type;
        object.name = QString::fromLatin1(o.name);
        for (const entry_row &r : entry_rows) {
            if (r.index != o.index)
                continue;
            od_entry e;
            e.index = r.index;
            e.sub = r.sub;
            e.name = QString::fromLatin1(r.name);
            e.type = static_cast<uint16_t>(r.type);
            e.access = QString::fromLatin1(r.access);
            e.default_value = QString::fromLatin1(r.default_value);
            e.low_limit = QString::fromLatin1(r.low);
            e.high_limit = QString::fromLatin1(r.high);
            e.pdo_mapping = r.pdo;
            object.entries.push_back(e);
        }
        d.objects.push_back(object);
    }
    return d;
}

}  // namespace objects
