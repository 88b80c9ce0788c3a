#include "sound/wav.h"

#include <cstring>

#include "sound/synthesiser.h"

namespace sound {

namespace {

void Put(std::byte*& at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) *at++ = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

void Put(std::byte*& at, const char (&tag)[5]) {
  std::memcpy(at, tag, 4);
  at += 4;
}

}  // namespace

std::array<std::byte, kWavHeaderSize> WavHeader(std::uint32_t frames) {
  constexpr std::uint32_t blockAlign = kChannels * 2;
  const std::uint32_t dataSize = frames * blockAlign;
  std::array<std::byte, kWavHeaderSize> header{};
  std::byte* at = header.data();
  Put(at, "RIFF");
  Put(at, 36 + dataSize, 4);
  Put(at, "WAVE");
  Put(at, "fmt ");
  Put(at, 16, 4);
  Put(at, 1, 2);  // PCM
  Put(at, kChannels, 2);
  Put(at, kSampleRate, 4);
  Put(at, kSampleRate * blockAlign, 4);
  Put(at, blockAlign, 2);
  Put(at, 16, 2);
  Put(at, "data");
  Put(at, dataSize, 4);
  return header;
}

void ToLittleEndian(std::span<const std::int16_t> samples, std::span<std::byte> bytes) {
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto value = static_cast<std::uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<std::byte>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<std::byte>(value >> 8);
  }
}

}  // namespace sound
