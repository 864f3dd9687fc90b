// libFuzzer program for the sprite loader. Plain byte mutation almost never gets past a
// chunk's CRC or the zlib stream's checksum, so the mutator here also works on the picture's
// structure: it repairs the chunk CRCs after most mutations, and sometimes mutates the
// inflated image data and compresses it again, which reaches filtering, interlacing and the
// bit-depth expansions.

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kMaxInflated = 1u << 20;

uint32_t GetBE32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

void AppendChunk(std::string& out, const char* type, const uint8_t* body, size_t length) {
  uint8_t head[8];
  PutBE32(head, static_cast<uint32_t>(length));
  std::memcpy(head + 4, type, 4);
  out.append(reinterpret_cast<const char*>(head), 8);
  out.append(reinterpret_cast<const char*>(body), length);
  uLong crc = crc32(0, head + 4, 4);
  crc = crc32(crc, body, static_cast<uInt>(length));
  uint8_t tail[4];
  PutBE32(tail, static_cast<uint32_t>(crc));
  out.append(reinterpret_cast<const char*>(tail), 4);
}

// Recomputes the CRC of every complete chunk; stops at the first chunk that runs past the end.
void FixCrcs(uint8_t* data, size_t size) {
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return;
  size_t pos = 8;
  while (pos + 12 <= size) {
    const uint32_t length = GetBE32(data + pos);
    if (length > size - pos - 12) return;
    PutBE32(data + pos + 8 + length,
            static_cast<uint32_t>(crc32(0, data + pos + 4, length + 4)));
    pos += 12 + length;
  }
}

bool Inflate(const std::string& in, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK && out.size() < kMaxInflated) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// Inflates the IDAT stream, mutates it, and writes the picture back with one IDAT chunk.
size_t MutateImageData(uint8_t* data, size_t size, size_t maxSize) {
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return 0;
  std::string before, compressed, after;
  size_t pos = 8;
  bool seenIdat = false;
  while (pos + 12 <= size) {
    const uint32_t length = GetBE32(data + pos);
    if (length > size - pos - 12) return 0;
    const char* type = reinterpret_cast<const char*>(data + pos + 4);
    const char* chunk = reinterpret_cast<const char*>(data + pos);
    if (std::memcmp(type, "IDAT", 4) == 0) {
      compressed.append(chunk + 8, length);
      seenIdat = true;
    } else {
      (seenIdat ? after : before).append(chunk, 12 + length);
    }
    pos += 12 + length;
  }
  std::string raw;
  if (!seenIdat || !Inflate(compressed, raw) || raw.empty()) return 0;

  std::vector<uint8_t> mutated(raw.begin(), raw.end());
  mutated.resize(raw.size() * 2 + 64);
  const size_t rawSize = LLVMFuzzerMutate(mutated.data(), raw.size(), mutated.size());
  uLongf packedSize = compressBound(static_cast<uLong>(rawSize));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, mutated.data(), static_cast<uLong>(rawSize), 6) != Z_OK)
    return 0;

  std::string out = std::string(reinterpret_cast<const char*>(kSignature), 8) + before;
  AppendChunk(out, "IDAT", packed.data(), packedSize);
  out += after;
  if (out.size() > maxSize) return 0;
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qf::fuzz::FuzzPng(data, size);
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  if (seed % 4 == 0) {
    if (const size_t n = MutateImageData(data, size, maxSize)) return n;
  }
  const size_t n = LLVMFuzzerMutate(data, size, maxSize);
  // A few inputs keep their broken CRCs, so the loader's refusal of them stays covered.
  if (seed % 16 != 1) FixCrcs(data, n);
  return n;
}
