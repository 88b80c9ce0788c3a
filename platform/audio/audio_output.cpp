#include "platform/audio/audio_output.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdlib>

namespace platform {

namespace {

// ALSA prints several lines of its own on stderr when there is no card
// unless its error handler is replaced first.  It is loaded, not linked: a
// system without ALSA has nothing to silence.
extern "C" void IgnoreAlsa(const char*, int, const char*, int, const char*, ...) {}

void SilenceLibraries() {
  // PipeWire logs its own warnings unless told not to; a user who asks for
  // them still gets them.
  setenv("PIPEWIRE_DEBUG", "0", 0);
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  static const bool done = [] {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr) return true;
    if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"))) set(IgnoreAlsa);
    return true;  // kept loaded: the handler stays set for SDL's use of it
  }();
  (void)done;
}

extern "C" void FillBuffer(void* output, Uint8* stream, int bytes) {
  static_cast<const AudioOutput::Fill*>(output)->operator()(
      std::span(reinterpret_cast<std::int16_t*>(stream), static_cast<std::size_t>(bytes) / sizeof(std::int16_t)));
}

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::Open(Fill fill) {
  SilenceLibraries();
  // What the desktop's mixer calls the stream; the environment still wins.
  SDL_SetHint(SDL_HINT_APP_NAME, "Rain");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Rain");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Rain");
  std::unique_ptr<AudioOutput> output(new AudioOutput(std::move(fill)));
  output->initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!output->initialised_) {
    output->reason_ = SDL_GetError();
    return output;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = 48000;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = 2048;  // 43 ms: few wake-ups, and a mute is still heard at once
  wanted.callback = FillBuffer;
  wanted.userdata = &output->fill_;
  // No changes allowed: SDL converts to whatever the device wants.
  output->device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (output->device_ == 0) {
    output->reason_ = SDL_GetError();
    if (output->reason_.empty()) output->reason_ = "no audio device";
    return output;
  }
  SDL_PauseAudioDevice(output->device_, 0);
  return output;
}

AudioOutput::~AudioOutput() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace platform
