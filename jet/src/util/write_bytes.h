#pragma once

// Little-endian loads and stores on buffers the write path owns: pages it has already checked
// (DataPage validates its slot table first) or bytes it is building. Offsets here are computed by
// the writer, never taken unchecked from disk, so a bad offset is a bug and asserts.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace jet::wr {

inline uint16_t LoadU16(std::span<const uint8_t> b, size_t off) {
  assert(off + 2 <= b.size());
  return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

inline uint32_t LoadU24(std::span<const uint8_t> b, size_t off) {
  assert(off + 3 <= b.size());
  return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
         (static_cast<uint32_t>(b[off + 2]) << 16);
}

inline uint32_t LoadU32(std::span<const uint8_t> b, size_t off) {
  assert(off + 4 <= b.size());
  return LoadU24(b, off) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

inline void StoreU8(std::span<uint8_t> b, size_t off, uint8_t v) {
  assert(off < b.size());
  b[off] = v;
}

inline void StoreU16(std::span<uint8_t> b, size_t off, uint16_t v) {
  assert(off + 2 <= b.size());
  b[off] = static_cast<uint8_t>(v);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreU24(std::span<uint8_t> b, size_t off, uint32_t v) {
  assert(off + 3 <= b.size());
  for (size_t i = 0; i < 3; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void StoreU32(std::span<uint8_t> b, size_t off, uint32_t v) {
  assert(off + 4 <= b.size());
  for (size_t i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void StoreU64(std::span<uint8_t> b, size_t off, uint64_t v) {
  assert(off + 8 <= b.size());
  for (size_t i = 0; i < 8; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends to a growing byte string.
inline void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace jet::wr
