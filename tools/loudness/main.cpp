// rain-loudness FILE.wav: the integrated loudness and the peak of a 48 kHz
// 16-bit stereo WAV file such as rain-frames --sound writes, to check the
// sound's levels by ear's measure.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound/wav.h"
#include "tools/loudness/meter.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs("Usage: rain-loudness FILE.wav\nPrints the integrated loudness (LUFS) and the peak (dBFS) of a\n"
               "48 kHz 16-bit stereo PCM WAV file.\n",
               argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
  // Our own files' header, byte for byte, for the length the file has.
  const std::uint32_t frames = bytes.size() < sound::kWavHeaderSize ? 0 : (bytes.size() - sound::kWavHeaderSize) / 4;
  const auto header = sound::WavHeader(frames);
  if (!file || bytes.size() < sound::kWavHeaderSize || std::memcmp(bytes.data(), header.data(), 36) != 0) {
    std::fprintf(stderr, "rain-loudness: %s is not a 48 kHz 16-bit stereo PCM WAV file\n", argv[1]);
    return 1;
  }
  std::vector<std::int16_t> samples(frames * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data()) + sound::kWavHeaderSize + 2 * i;
    samples[i] = static_cast<std::int16_t>(at[0] | at[1] << 8);
  }
  loudness::Meter meter;
  meter.Add(samples);
  std::printf("%.1f LUFS integrated, peak %.2f dBFS, %.1f s\n", meter.Integrated(), meter.PeakDbfs(),
              frames / 48000.0);
  return 0;
}
