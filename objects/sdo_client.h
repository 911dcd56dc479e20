#pragma once
// SDO client (CiA 301): expedited and segmented upload and download of one object, over an
// injected request/reply function so that it runs against the exchange core, the simulator or
// a scripted server alike. Every frame is 8 bytes; byte 0 is the command specifier:
//
//   request (client -> 0x600+n)            reply (0x580+n -> client)
//   40 ii ii ss -- -- -- --  upload init   4n ii ii ss d d d d  expedited (n: 3 - unused<<2 | e s)
//                                          41 ii ii ss L L L L  segmented, L = size
//   6t/7t                    upload seg    0t..1f d d d d d d d  t toggle, n = unused, c = last
//   2n ii ii ss d d d d      download exp  60 ii ii ss           confirmed
//   21 ii ii ss L L L L      download init 60 ii ii ss
//   0t|n<<1|c d d d d d d d  download seg  20/30                  (toggle echoed in bit 4)
//   80 ii ii ss C C C C      abort, either direction, C = abort code
#include <QByteArray>
#include <cstdint>
#include <functional>

namespace objects {

struct sdo_frame {
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

// The wire side. transact sends one request and waits for the first frame from the server
// that is_reply accepts; false when nothing acceptable came before the timeout (or the send
// failed). send puts a frame out without waiting (the client's own aborts).
struct sdo_link {
    std::function<bool(const sdo_frame &request, const std::function<bool(const sdo_frame &)> &is_reply,
                       sdo_frame *reply)>
        transact;
    std::function<void(const sdo_frame &)> send;
};

// Reply window of one SDO step. CiA 301 leaves the value to the application; this is the
// usual default of CANopen masters.
constexpr int sdo_timeout_ms = 1000;

// Largest object an upload accepts: a server that announces more is refused with "out of
// memory" instead of tying up the bus for minutes.
constexpr int sdo_max_upload = 65536;

struct sdo_outcome {
    bool ok = false;
    uint32_t abort = 0;          // the abort code when !ok
    bool server_aborted = false; // the server sent the abort (else this client did)
    QByteArray data;             // upload: the object's bytes
};

sdo_outcome sdo_upload(const sdo_link &link, uint16_t index, uint8_t subindex);
// Data of up to 4 bytes goes expedited with its size indicated, longer data segmented.
sdo_outcome sdo_download(const sdo_link &link, uint16_t index, uint8_t subindex, const QByteArray &data);

// Command specifier helpers, shared with the tests that script a server.
sdo_frame sdo_abort_frame(uint16_t index, uint8_t subindex, uint32_t code);
bool sdo_is_abort(const sdo_frame &f);
uint32_t sdo_abort_code(const sdo_frame &f);

}  // namespace objects
