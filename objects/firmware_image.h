#pragma once
// A program image for a firmware update and its sidecar IMAGE.json (beside IMAGE), which says
// what the image is for:
//   {"product": "0x00000402", "version": "SIM-FW 2.0.0"}
// product as a number (decimal, or decimal or 0x hex in a string), the product code a node shows
// in 0x1018:2; version optional, what the node's 0x100A reads once the image runs. An image
// without a sidecar is of unknown product.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace objects {

struct firmware_image {
    QString file;
    QByteArray data;
    uint32_t crc = 0;  // CRC-32 of data
    bool product_known = false;
    uint32_t product = 0;
    QString version;
};

// Reads path and, when there, path + ".json"; false with the reason.
bool load_firmware_image(const QString &path, firmware_image *image, QString *error);
// The sidecar's text into image; false with the reason (not a JSON object, a field of the wrong
// kind or out of range).
bool parse_firmware_sidecar(const QByteArray &json, firmware_image *image, QString *error);

}  // namespace objects
