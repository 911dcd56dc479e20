// A firmware image's sidecar comes with the image from wherever images come from: whatever its
// text, the parser answers, and an accepted product is a 32-bit number, a version a short text.
#include "objects/firmware_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    objects::firmware_image image;
    QString error;
    const QByteArray json(reinterpret_cast<const char *>(data), static_cast<int>(size));
    if (!objects::parse_firmware_sidecar(json, &image, &error)) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    if (image.version.size() > 64)
        std::abort();
    return 0;
}
