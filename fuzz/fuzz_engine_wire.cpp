// The messages the script engine process writes to the program (sequences/engine_wire.h): a dying
// engine may write anything. The input arrives in pieces of the sizes its first byte picks, as a
// socket hands it over; every message taken must encode back to the very bytes it came from,
// and once the stream is garbled it stays so. A reply's text read as a firmware report must come
// out the same when written and read again, and so must a reply's list of joints.
#include "objects/firmware_job.h"
#include "sequences/engine_wire.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    // A small limit, so that the size checks are reached, not only the buffering.
    sequences::wire_reader in(4096);
    size_t fed = 0;
    size_t taken = 0;  // bytes of whole messages so far
    bool garbled = false;
    while (fed < size || !garbled) {
        sequences::wire_message m;
        const sequences::wire_reader::status st = in.next(&m);
        if (st == sequences::wire_reader::status::garbled) {
            garbled = true;
            if (in.next(&m) != sequences::wire_reader::status::garbled)
                std::abort();
            break;
        }
        if (st == sequences::wire_reader::status::message) {
            const QByteArray again = sequences::encode(m);
            if (taken + static_cast<size_t>(again.size()) > fed ||
                std::memcmp(again.constData(), data + taken, static_cast<size_t>(again.size())) != 0)
                std::abort();
            taken += static_cast<size_t>(again.size());
            const QString report = sequences::encode_firmware_report(sequences::decode_firmware_report(m.texts[1]));
            if (sequences::encode_firmware_report(sequences::decode_firmware_report(report)) != report)
                std::abort();
            const QString joints = sequences::encode_known_joints(sequences::decode_known_joints(m.texts[0]));
            if (sequences::encode_known_joints(sequences::decode_known_joints(joints)) != joints)
                std::abort();
            continue;
        }
        if (fed >= size)
            break;
        const size_t n = size - fed < piece ? size - fed : piece;
        in.feed(reinterpret_cast<const char *>(data + fed), static_cast<int>(n));
        fed += n;
    }
    return 0;
}
