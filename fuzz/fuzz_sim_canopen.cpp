// The simulated joints' CANopen side: NMT, SYNC, SDO, PDO, guarding, LSS and whatever else,
// by function code and node, with data of any length and remote frames.
#include "fuzz/frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // High nibble: the function code (0x000 NMT, 0x080 SYNC/EMCY, ..., 0x600 SDO request,
    // 0x700 guarding; 0xF the LSS master's 0x7E5); low nibble: the node.
    fuzz::run_frames(data, size, [](uint8_t b) { return b >> 4 == 0xF ? 0x7E5u : uint32_t(b >> 4) * 0x80u + (b & 0x0F); });
    return 0;
}
