// rain-weston-shot FILE.pam: the first output of the weston that
// WAYLAND_DISPLAY names (started with --debug), as a PAM of its device
// pixels with the fourth byte weston keeps beside each.
// weston-screenshooter writes its PNG through cairo, which takes that byte
// as alpha, and it is the unused byte of an opaque XRGB surface: 0 for
// ours, which cairo then makes black.  Here it is kept as it is, which
// also shows which pixels are ours.
//
// weston 10's private capture protocol has one request and one event; its
// XML is not installed, so its two messages are written out here.

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const wl_interface* kShotTypes[] = {&wl_output_interface, &wl_buffer_interface};
const wl_message kShotRequests[] = {{"take_shot", "oo", kShotTypes}};
const wl_message kShotEvents[] = {{"done", "", nullptr}};
const wl_interface kScreenshooter = {"weston_screenshooter", 1, 1, kShotRequests, 1, kShotEvents};

struct State {
  wl_shm* shm = nullptr;
  wl_output* output = nullptr;
  wl_proxy* shooter = nullptr;
  int width = 0, height = 0;
  bool done = false;
};

const wl_output_listener kOutput = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
          auto* state = static_cast<State*>(data);
          if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) state->width = width, state->height = height;
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void*, wl_output*, std::int32_t) {},
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const wl_registry_listener kRegistry = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
          auto* state = static_cast<State*>(data);
          const std::string which = interface;
          if (which == "wl_shm") {
            state->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
          } else if (which == "wl_output" && state->output == nullptr) {
            state->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
            wl_output_add_listener(state->output, &kOutput, state);
          } else if (which == kScreenshooter.name) {
            state->shooter = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kScreenshooter, 1));
          }
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

int Fail(const char* why) {
  std::fprintf(stderr, "rain-weston-shot: %s\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Fail("usage: rain-weston-shot FILE.pam");
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return Fail("no Wayland display");
  State state;
  wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &state);
  wl_display_roundtrip(display);
  wl_display_roundtrip(display);
  if (state.shooter == nullptr) return Fail("no weston_screenshooter: weston needs --debug");
  if (state.shm == nullptr || state.width <= 0) return Fail("no output");

  const int stride = state.width * 4;
  const std::size_t bytes = static_cast<std::size_t>(stride) * state.height;
  const int fd = memfd_create("shot", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) return Fail("no memory");
  auto* pixels = static_cast<std::uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  if (pixels == MAP_FAILED) return Fail("no memory");
  wl_shm_pool* pool = wl_shm_create_pool(state.shm, fd, static_cast<std::int32_t>(bytes));
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, state.width, state.height, stride, WL_SHM_FORMAT_ARGB8888);

  static const struct {
    void (*done)(void*, wl_proxy*);
  } listener = {[](void* data, wl_proxy*) { static_cast<State*>(data)->done = true; }};
  wl_proxy_add_listener(state.shooter, reinterpret_cast<void (**)(void)>(const_cast<void*>(static_cast<const void*>(&listener))),
                        &state);
  wl_proxy_marshal_flags(state.shooter, 0, nullptr, 1, 0, state.output, buffer);
  while (!state.done)
    if (wl_display_dispatch(display) < 0) return Fail("the display went away");

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return Fail("cannot write the file");
  std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", state.width,
               state.height);
  for (std::size_t i = 0; i < bytes / 4; ++i) {
    const unsigned char rgba[4] = {static_cast<unsigned char>(pixels[i] >> 16),
                                   static_cast<unsigned char>(pixels[i] >> 8), static_cast<unsigned char>(pixels[i]),
                                   static_cast<unsigned char>(pixels[i] >> 24)};
    std::fwrite(rgba, 1, 4, out);
  }
  return std::fclose(out) == 0 ? 0 : Fail("cannot write the file");
}
