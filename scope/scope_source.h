#pragma once
// Reads one sample of the joint through the exchange core: the custom protocol's register reads
// or CANopen SDO uploads, each matched to its reply by the protocol's decoder and returning as
// soon as that reply arrived (the reply window is only the time-out). A read that gets no reply
// leaves its channel out of the sample; read() is false when nothing answered, and gives up at
// the first read when that one goes unanswered.
#include "can/exchange.h"
#include "scope/scope_sample.h"

namespace scope {

// The adapter of the process as the sampler uses it: the core's adapter steps, except that a
// wait ends as soon as a frame is pending, so a quick reply is taken at once.
const exchange_bus &sampler_bus();

class sample_source {
public:
    virtual ~sample_source() = default;
    virtual channel_mask channels() const = 0;
    virtual bool read(sample *s) = 0;
};

// Custom protocol: actual position, speed and current (registers 0x0002, 0x0005, 0x0008).
class custom_source : public sample_source {
public:
    custom_source(const exchange_bus &bus, uint32_t request_id) : bus_(bus), request_id_(request_id) {}
    channel_mask channels() const override { return bit(position) | bit(velocity) | bit(current); }
    bool read(sample *s) override;

private:
    bool read_register(const uint8_t *request, uint8_t length, int32_t *value);

    const exchange_bus &bus_;
    uint32_t request_id_;
};

// CANopen: 0x6064 position, 0x606C velocity, 0x6078 current (per mille of 0x6075, read once
// per source), 0x6041 statusword as its CiA 402 state; SDO uploads to sdo_request_id
// (0x600 + node). An abort is a refusal: that channel stays out of the sample.
class canopen_source : public sample_source {
public:
    canopen_source(const exchange_bus &bus, uint32_t sdo_request_id) : bus_(bus), request_id_(sdo_request_id) {}
    channel_mask channels() const override
    {
        return bit(position) | bit(velocity) | bit(current) | bit(state);
    }
    bool read(sample *s) override;
    // *answered (optional): the node answered, with the value or with an abort.
    bool upload(uint16_t index, uint8_t subindex, int32_t *value, bool *answered = nullptr);

private:
    const exchange_bus &bus_;
    uint32_t request_id_;
    bool rated_asked_ = false;
    bool rated_known_ = false;
    int32_t rated_ma_ = 0;
};

}  // namespace scope
