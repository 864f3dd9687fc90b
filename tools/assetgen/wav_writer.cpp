#include "tools/assetgen/wav_writer.h"

#include <stdexcept>

namespace qf::assetgen {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

}  // namespace

std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  constexpr uint32_t kMaxData = 0xFFFFFFFFu - 36;
  if (samples.size() * 2 > kMaxData) throw std::length_error("sound too long for a WAV file");
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + dataBytes);
  PutTag(out, "RIFF");
  Put32(out, 36 + dataBytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, 16);              // format chunk size
  Put16(out, 1);               // PCM
  Put16(out, 1);               // mono
  Put32(out, sampleRate);
  Put32(out, sampleRate * 2);  // bytes per second
  Put16(out, 2);               // bytes per frame
  Put16(out, 16);              // bits per sample
  PutTag(out, "data");
  Put32(out, dataBytes);
  for (const int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
  return out;
}

}  // namespace qf::assetgen
