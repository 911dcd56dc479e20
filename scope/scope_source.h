#pragma once
// Where samples come from. A polled source reads one sample of the joint through the exchange
// core: the custom protocol's register reads or CANopen SDO uploads, each matched to its reply
// by the protocol's decoder and returning as soon as that reply arrived (the reply window is
// only the time-out). A read that gets no reply leaves its channel out of the sample; read() is
// false when nothing answered, and gives up at the first read when that one goes unanswered.
// A streaming source (the drive's own PDOs, scope_pdo.h) hands over what arrived instead.
#include "can/exchange.h"
#include "scope/scope_sample.h"

#include <vector>

namespace scope {

// An SDO value's bytes as a number (up to four, least significant first), and back in size bytes.
uint32_t little_endian(const QByteArray &bytes);
QByteArray little_endian(uint32_t v, int size);

// The key a source stores for a default role from the object's raw value: the current in mA
// (needs the rated current; false without it), the state number of a statusword, the others
// as key_of_raw() gives them.
bool stored_key(const channel_def &ch, uint32_t raw, bool rated_known, int32_t rated_ma, int32_t *key);

// The adapter of the process as the sampler uses it: the core's adapter steps, except that a
// wait ends as soon as a frame is pending, so a quick reply is taken at once.
const exchange_bus &sampler_bus(int bus = 0);

class sample_source {
public:
    virtual ~sample_source() = default;
    // The channels of the list this source supplies (the set-point is the sampler's).
    virtual channel_mask channels() const = 0;
    virtual bool read(sample *s) = 0;
    virtual bool streaming() const { return false; }
    // A streaming source's samples since the last call, oldest first.
    virtual void collect(std::vector<sample> &) {}
    // At the end of the recording: what collect() has still held back, too.
    virtual void finish(std::vector<sample> &out) { collect(out); }
};

// Custom protocol: actual position, speed and current (registers 0x0002, 0x0005, 0x0008), for
// the channels of those roles; it has no other objects.
class custom_source : public sample_source {
public:
    custom_source(const exchange_bus &bus, uint32_t request_id, const channel_list &channels = default_channels());
    channel_mask channels() const override { return mask_; }
    bool read(sample *s) override;

private:
    bool read_register(const uint8_t *request, uint8_t length, int32_t *value);

    const exchange_bus &bus_;
    uint32_t request_id_;
    channel_list channels_;
    channel_mask mask_ = 0;
};

// CANopen: every object channel by SDO upload to sdo_request_id (0x600 + node), the current
// from 0x6078 in per mille of 0x6075 (read once per source), the statusword as its CiA 402
// state. An abort is a refusal: that channel stays out of the sample.
class canopen_source : public sample_source {
public:
    canopen_source(const exchange_bus &bus, uint32_t sdo_request_id, const channel_list &channels = default_channels());
    channel_mask channels() const override { return mask_; }
    bool read(sample *s) override;
    // *answered (optional): the node answered, with the value or with an abort.
    bool upload(uint16_t index, uint8_t subindex, int32_t *value, bool *answered = nullptr);

private:
    const exchange_bus &bus_;
    uint32_t request_id_;
    channel_list channels_;
    channel_mask mask_ = 0;
    bool rated_asked_ = false;
    bool rated_known_ = false;
    int32_t rated_ma_ = 0;
};

}  // namespace scope
