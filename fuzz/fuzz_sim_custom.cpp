// The simulated joints' side of the drive's own protocol: requests of any length and content to
// the request identifiers of present and absent joints, interleaved with time passing.
#include "fuzz/frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Mostly the request identifiers 0x640..0x64F; now and then the reply identifiers, which
    // the joints must ignore.
    fuzz::run_frames(data, size, [](uint8_t b) { return (b & 0x80 ? 0x5C0u : 0x640u) + (b & 0x0F); });
    return 0;
}
