#pragma once
// Reads one sample of the joint through a bus link: the custom protocol's register reads or
// CANopen SDO uploads, each matched to its own reply. A read that gets no reply leaves its
// channel out of the sample; read() is false only when nothing answered.
#include "scope/scope_link.h"
#include "scope/scope_sample.h"

namespace scope {

class sample_source {
public:
    virtual ~sample_source() = default;
    virtual channel_mask channels() const = 0;
    virtual bool read(sample *s) = 0;
};

// Custom protocol: actual position, speed and current (registers 0x0002, 0x0005, 0x0008).
// Replies come from request_id - 0x80 with four data bytes.
class custom_source : public sample_source {
public:
    custom_source(bus_link &link, uint32_t request_id) : link_(link), request_id_(request_id) {}
    channel_mask channels() const override { return bit(position) | bit(velocity) | bit(current); }
    bool read(sample *s) override;

private:
    bool read_register(const uint8_t *request, uint8_t length, int32_t *value);

    bus_link &link_;
    uint32_t request_id_;
};

// CANopen: 0x6064 position, 0x606C velocity, 0x6078 current (per mille of 0x6075, read once
// per recording), 0x6041 statusword as its CiA 402 state. SDO uploads to sdo_request_id
// (0x600 + node); the node answers on 0x580 + node. An abort is a refusal.
class canopen_source : public sample_source {
public:
    canopen_source(bus_link &link, uint32_t sdo_request_id) : link_(link), request_id_(sdo_request_id) {}
    channel_mask channels() const override
    {
        return bit(position) | bit(velocity) | bit(current) | bit(state);
    }
    bool read(sample *s) override;

    // SDO upload: 40 lo hi sub 00 00 00 00; the reply 4x lo hi sub d0 d1 d2 d3 with the same
    // index and subindex, or 80 lo hi sub and the abort code.
    bool upload(uint16_t index, uint8_t subindex, int32_t *value);

private:
    bus_link &link_;
    uint32_t request_id_;
    bool rated_known_ = false;
    int32_t rated_ma_ = 0;
};

}  // namespace scope
