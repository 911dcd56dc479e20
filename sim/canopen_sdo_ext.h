#pragma once
// The part of a simulated joint's SDO server beyond expedited transfers of the drive objects:
// segmented transfers (CiA 301), the identity strings 0x1008/0x1009/0x100A, storing and
// restoring parameters through 0x1010/0x1011, and the manufacturer parameters 0x2100-0x2110
// with their limits. The stored set lives as long as the simulator process, so a saved value
// comes back after an NMT reset node. Document/velmora_joint.eds describes these objects.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class canopen_sdo_ext {
public:
    canopen_sdo_ext();

    // Offered every SDO request before the drive's own server. True when this part answered;
    // reply then holds the 8 answer bytes (a segment, a confirmation or an abort).
    bool handle(const uint8_t request[8], uint8_t reply[8]);

    // Reset node: the parameters come back from the stored set (or their defaults).
    void reset_application();
    // Reset communication: a transfer in progress is dropped.
    void reset_communication();

    // Signatures of CiA 301 for 0x1010 sub 1 ("save") and 0x1011 sub 1 ("load").
    static constexpr uint32_t save_signature = 0x65766173;
    static constexpr uint32_t load_signature = 0x64616F6C;
    static constexpr size_t label_max = 32;

private:
    struct parameter {
        uint16_t index;
        uint8_t sub;
        uint8_t size;
        bool is_signed;
        int64_t low;
        int64_t high;
        int64_t initial;
    };
    struct values {
        std::vector<int64_t> numbers;
        std::string label;
    };
    struct session {
        bool active = false;
        bool upload = false;
        uint16_t index = 0;
        uint8_t sub = 0;
        uint8_t toggle = 0;
        bool size_known = false;
        uint32_t size = 0;
        std::string data;
        size_t offset = 0;
    };

    static const std::vector<parameter> &parameters();
    static values defaults();
    bool owns(uint16_t index) const;

    // 0 or an abort code. Strings read as their bytes, numbers little-endian in their size.
    uint32_t read(uint16_t index, uint8_t sub, std::string *bytes) const;
    uint32_t write(uint16_t index, uint8_t sub, const std::string &bytes);
    uint32_t write_parameter(const parameter &p, size_t slot, const std::string &bytes);
    uint32_t write_command(uint16_t index, uint8_t sub, const std::string &bytes);

    bool initiate_upload(uint16_t index, uint8_t sub, uint8_t reply[8]);
    bool initiate_download(const uint8_t request[8], uint8_t reply[8]);
    void upload_segment(uint8_t command, uint8_t reply[8]);
    void download_segment(const uint8_t request[8], uint8_t reply[8]);
    void abort(uint16_t index, uint8_t sub, uint32_t code, uint8_t reply[8]);

    values current_;
    values stored_;
    session session_;
};

}  // namespace sim
