// The header of a PCM WAV file of the synthesiser's format: 48 kHz, 16-bit,
// two channels, little-endian.

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sound {

constexpr std::size_t kWavHeaderSize = 44;

// The header of a file of `frames` sample frames.
std::array<std::byte, kWavHeaderSize> WavHeader(std::uint32_t frames);

// The largest count of sample frames one file can hold (its sizes are 32-bit).
constexpr std::uint32_t kMaxWavFrames = (0xFFFFFFFFu - kWavHeaderSize) / 4;

// `samples` as the file stores them, little-endian whatever the machine.
void ToLittleEndian(std::span<const std::int16_t> samples, std::span<std::byte> bytes);

}  // namespace sound
