#pragma once
// The SDO client (CiA 301): the request frames, which frame from the server answers a request,
// and transfers of whole objects, expedited and segmented. Every frame is 8 bytes; byte 0 is
// the command specifier, bytes 1-3 the object ("mux": index little-endian, subindex):
//
//   request (client -> 0x600+n)            answer (0x580+n -> client)
//   40 ii ii ss -- -- -- --  upload init   4n ii ii ss d d d d  expedited (n: 3 - unused<<2 | e s)
//                                          41 ii ii ss L L L L  segmented, L = size
//   6t/7t                    upload seg    0t..1f d d d d d d d  t toggle, n = unused, c = last
//   2n ii ii ss d d d d      download exp  60 ii ii ss           confirmed
//   21 ii ii ss L L L L      download init 60 ii ii ss
//   0t|n<<1|c d d d d d d d  download seg  20/30                  (toggle echoed in bit 4)
//   80 ii ii ss C C C C      abort, either direction, C = abort code
//
// Block transfers move up to 127 segments per confirmation (B: block size, q: sequence number
// 1..B, S = 0x80 on the segment with the last byte, n: unused bytes of the last segment, C C:
// CRC-16 of the whole object when both ends support it, bit 2 of the initiates):
//
//   C6 ii ii ss L L L L      block down init   A4 ii ii ss B          (A0: server without CRC)
//   S|q d d d d d d d  xB    segments          A2 q B                 q: last segment in order
//   C1|n<<2 C C              end               A1
//   A4 ii ii ss B P          block up init     C6 ii ii ss L L L L    or, when L <= P, the
//                                                                     ordinary upload answer
//   A3                       start             S|q d d d d d d d  xB
//   A2 q B                   confirm           the next block, or C1|n<<2 C C after the last
//   A1                       end confirmed     (nothing)
//
// A block ends early at the segment with S; a segment missing from a block makes the receiver
// confirm only the segments before it, and the sender goes on from there. A server that does
// not offer block transfers answers the initiate with 0x05040001: the transfer goes on as an
// ordinary one.
// A transfer is a small state machine fed one answer at a time: it says which frame to send
// next and which received frame is the answer to it, so that whoever drives it decides how long
// to wait and when (one transaction per step). step_sdo takes one step over a link; run_sdo
// drives a transfer to its end.
//
// A transfer is bounded whatever the server does: an upload takes at most its announced size (or
// sdo_max_upload when none is announced); a segment that carries no byte and is not the last is
// refused (a server answering so would never end), and no upload runs longer than one segment
// more than its size in bytes.
#include "can/exchange.h"
#include "canopen/sdo_abort.h"

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace canopen {

struct sdo_frame {
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

// Command specifiers: byte 0 masked with sdo_command_mask.
constexpr uint8_t sdo_command_mask = 0xE0;
constexpr uint8_t sdo_download_segment = 0x00;
constexpr uint8_t sdo_download_initiate = 0x20;
constexpr uint8_t sdo_upload_initiate = 0x40;
constexpr uint8_t sdo_upload_segment = 0x60;
constexpr uint8_t sdo_abort = 0x80;
constexpr uint8_t sdo_toggle_bit = 0x10;

// ---- requests ---------------------------------------------------------------------------

sdo_frame sdo_upload_request(uint16_t index, uint8_t subindex);
// 1 to 4 bytes go expedited with their size indicated (2F, 2B, 27, 23 and the data); any other
// count is the initiate request of a segmented download announcing its size.
sdo_frame sdo_download_request(uint16_t index, uint8_t subindex, const QByteArray &data);
sdo_frame sdo_abort_frame(uint16_t index, uint8_t subindex, uint32_t code);
bool sdo_is_abort(const sdo_frame &f);
uint32_t sdo_abort_code(const sdo_frame &f);
// Bytes an expedited transfer carries: 4 - n when its size is indicated, else 4.
int sdo_expedited_size(uint8_t command);

// ---- which frame answers ------------------------------------------------------------------

// What a frame from the server (answer, len bytes; bytes beyond len read as 0) is to a request
// whose command byte is request, in a transfer of the object index:subindex: the reply when it
// has the command class that answers the request and names the object (answers to segments
// name none); a refusal with its code when it is an abort naming the object; otherwise, or
// with fewer than 4 bytes, not the answer. The toggle bit and sizes are the transfer's to check.
reply_verdict sdo_answer_verdict(uint8_t request, uint16_t index, uint8_t subindex, const uint8_t *answer, int len);

// ---- transfers ----------------------------------------------------------------------------

// Largest object an upload accepts: a server that announces more is refused with "out of
// memory" instead of tying up the bus for minutes.
constexpr int sdo_max_upload = 65536;
// A block upload moves up to 127 segments a confirmation, so a larger object (a drive's
// recording) is still a matter of seconds.
constexpr int sdo_max_block_upload = 1 << 20;

struct sdo_outcome {
    bool ok = false;
    uint32_t abort = 0;           // the abort code when !ok
    bool server_aborted = false;  // the server sent the abort (else this client did)
    QByteArray data;              // upload: the object's bytes
    // The server never answered (this client gave up on the reply window).
    bool unanswered() const { return !ok && !server_aborted && abort == abort_code::timeout; }
};

// Largest block a block transfer asks for or offers.
constexpr int sdo_max_block = 127;
// Downloads longer than this go as block transfers where the caller allows it (block_download_
// above): below it the segments are too few for the block's extra initiate and end to pay.
constexpr int sdo_block_threshold = 64;
// A block upload asks the server to answer an object this small the ordinary way.
constexpr int sdo_protocol_switch = 21;

class sdo_transfer {
public:
    static sdo_transfer upload(uint16_t index, uint8_t subindex);
    // Data of up to 4 bytes goes expedited, longer (or empty) data segmented.
    static sdo_transfer download(uint16_t index, uint8_t subindex, const QByteArray &data);
    // Block transfers, falling back to the ordinary ones on a server without them. block_size:
    // the upload's blocks (1..127).
    static sdo_transfer block_upload(uint16_t index, uint8_t subindex, int block_size = sdo_max_block);
    static sdo_transfer block_download(uint16_t index, uint8_t subindex, const QByteArray &data);
    // download, or block_download for data longer than sdo_block_threshold.
    static sdo_transfer large_download(uint16_t index, uint8_t subindex, const QByteArray &data);

    bool done() const { return done_; }
    // The frame to send next; meaningful while !done().
    const sdo_frame &request() const { return request_; }
    // What a frame from the server is to request() (sdo_answer_verdict).
    reply_verdict judge(const uint8_t *answer, int len) const;
    bool accepts(const sdo_frame &answer) const { return judge(answer.data, 8).kind != reply_kind::other; }
    // What the link's wait offers, frame by frame in their order: accepts(), except while a
    // block upload's segments come in, which are gathered here until the block's last one (or
    // an abort) ends the wait. Call it once per frame received after request() went out.
    bool offer(const sdo_frame &frame);
    // Frames that go out, unanswered, before request(): a download block's segments but its last.
    const std::vector<sdo_frame> &preamble() const { return preamble_; }
    // After a transfer that ended well: a frame the server is owed without answer (a block
    // upload's A1), once.
    bool owes_trailer() const { return owes_trailer_; }
    const sdo_frame &trailer() const { return trailer_; }
    // Whether the transfer went as a block transfer (false after the fallback).
    bool block() const;
    // Takes the answer to request(): the transfer moves to its next request, or ends.
    void take(const sdo_frame &answer);
    // No answer within the reply window: the transfer ends with the timeout abort.
    void timed_out() { fail(abort_code::timeout); }
    // The user gives up; the server is told with code.
    void cancel(uint32_t code = abort_code::general_error) { fail(code); }

    // After this client ended the transfer: the abort the server is to be sent, once.
    bool owes_abort() const { return owes_abort_; }
    sdo_frame abort_request() const { return sdo_abort_frame(index_, sub_, outcome_.abort); }
    const sdo_outcome &outcome() const { return outcome_; }

    uint16_t index() const { return index_; }
    uint8_t subindex() const { return sub_; }
    // Bytes moved so far, of the object's size (0 while the size is unknown).
    int bytes_done() const;
    int bytes_total() const { return size_known_ ? static_cast<int>(size_) : 0; }

private:
    enum class phase {
        upload_initiate,
        upload_segments,
        download_initiate,
        download_segments,
        block_upload_initiate,
        block_upload_blocks,
        block_download_initiate,
        block_download_blocks,
        block_download_end
    };

    sdo_transfer(phase p, uint16_t index, uint8_t subindex) : phase_(p), index_(index), sub_(subindex) {}
    void take_upload_initiate(const sdo_frame &answer);
    void take_upload_segment(const sdo_frame &answer);
    void take_download_segment(const sdo_frame &answer);
    void next_download_segment();
    void fail(uint32_t code);
    void succeed();
    bool falls_back(const sdo_frame &abort);
    reply_verdict judge_block(const uint8_t *answer, int len) const;
    void take_block_upload_initiate(const sdo_frame &answer);
    void take_upload_block(const sdo_frame &answer);
    void take_upload_end(const sdo_frame &answer);
    void take_block_download_initiate(const sdo_frame &answer);
    void take_download_block(const sdo_frame &answer);
    void next_download_block();
    void confirm_upload_block();

    phase phase_;
    uint16_t index_;
    uint8_t sub_;
    sdo_frame request_;
    QByteArray data_;  // download: what is sent; upload: what has come
    uint32_t size_ = 0;
    bool size_known_ = false;
    int offset_ = 0;  // download: bytes sent and confirmed
    int segments_ = 0;  // upload: segments taken
    uint8_t toggle_ = 0;
    bool done_ = false;
    bool owes_abort_ = false;
    sdo_outcome outcome_;

    // Block transfers.
    int block_size_ = sdo_max_block;  // of the block in hand
    bool crc_ = false;                // both ends check the CRC
    std::vector<sdo_frame> preamble_;
    int block_segments_ = 0;          // download: segments of the block in hand
    int next_sequence_ = 1;           // upload: the segment awaited next
    bool block_gathered_ = false;     // upload: the block's wait has ended
    bool bad_sequence_ = false;
    bool last_in_block_ = false;      // upload: the segment with S came in order
    bool awaiting_end_ = false;       // upload: the last block confirmed, the end comes next
    int idle_blocks_ = 0;             // blocks in a row that moved nothing
    QByteArray block_data_;           // upload: the block's segments in order
    bool owes_trailer_ = false;
    sdo_frame trailer_;
};

// A wire for a client that waits for each answer. transact sends one request and waits for the
// first frame from the server that is_reply accepts; false when nothing acceptable came before
// the reply window closed (or the send failed). send puts a frame out without waiting (the
// client's own aborts).
struct sdo_link {
    std::function<bool(const sdo_frame &request, const std::function<bool(const sdo_frame &)> &is_reply,
                       sdo_frame *reply)>
        transact;
    std::function<void(const sdo_frame &)> send;
    // Whether transact offers each frame to is_reply in turn, as block uploads need (their
    // segments are gathered by the predicate); a link that judges the answer elsewhere does not.
    bool offers_every_frame = true;
};

// One step of a transfer that is not done: its request and the answer (one transaction), and,
// when this client ends the transfer there, its abort to the server.
// A block transfer's step is one block: its segments out and the confirmation back, or the
// confirmation out and the next block back.
void step_sdo(const sdo_link &link, sdo_transfer &transfer);
// Ends a transfer that is not done at the user's wish, with its abort to the server.
void cancel_sdo(const sdo_link &link, sdo_transfer &transfer);
// Drives the transfer to its end, one transaction a step, and tells the server when this
// client gives up. It holds its caller for the whole transfer: a window takes the steps from
// its event loop instead (canopen/sdo_job.h).
sdo_outcome run_sdo(const sdo_link &link, sdo_transfer transfer);
// One step of a job's transfer held in transfer: begins it as start when none is in hand, and once
// it ends gives its outcome into *outcome and lets it go. True when the transfer ended at this
// step, false while it goes on (call again with the same start at the next step).
bool step_transfer(const sdo_link &link, std::optional<sdo_transfer> &transfer, const sdo_transfer &start,
                   sdo_outcome *outcome);
sdo_outcome read_object(const sdo_link &link, uint16_t index, uint8_t subindex);
sdo_outcome write_object(const sdo_link &link, uint16_t index, uint8_t subindex, const QByteArray &data);

}  // namespace canopen
