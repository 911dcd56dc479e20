#pragma once
// Checksums the bus protocols carry: CRC-16 of SDO block transfers (CiA 301: polynomial
// x^16 + x^12 + x^5 + 1, initial value 0, not reflected) and CRC-32 of program images (the
// reflected polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF, as zlib computes it).
// Both can be carried on: pass the previous result as crc to add more bytes.
#include <cstddef>
#include <cstdint>

namespace checksums {

uint16_t crc16_ccitt(const void *data, size_t size, uint16_t crc = 0);
uint32_t crc32(const void *data, size_t size, uint32_t crc = 0);

}  // namespace checksums
