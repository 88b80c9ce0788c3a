// A preloadable counter of frames presented, for bench/cpu-usage: it stands
// in front of SDL's present calls, counts them in a small shared file the
// script reads while the program runs, and passes every call on unchanged.
// The program itself is not changed and reads nothing for it.
//
// Counted, in this order: SDL_UpdateWindowSurface, SDL_UpdateWindowSurfaceRects
// (the window-surface path), SDL_RenderPresent and SDL_GL_SwapWindow (the
// paths that would go through a renderer or OpenGL), and the Wayland
// backend's presents: each asks the compositor for the next frame, a
// wl_callback given its listener (so do the few round trips of the start).

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

enum Slot { kUpdateSurface, kUpdateSurfaceRects, kRenderPresent, kGlSwap, kWaylandFrame, kSlots };

std::uint64_t* OpenCounters() {
  const char* path = std::getenv("RAIN_PRESENT_COUNTER");
  if (path == nullptr) return nullptr;
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  void* mapped = MAP_FAILED;
  if (ftruncate(fd, sizeof(std::uint64_t) * kSlots) == 0) {
    mapped = mmap(nullptr, sizeof(std::uint64_t) * kSlots, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  return mapped == MAP_FAILED ? nullptr : static_cast<std::uint64_t*>(mapped);
}

void Count(Slot slot) {
  static std::uint64_t* counters = OpenCounters();
  if (counters != nullptr) __atomic_fetch_add(&counters[slot], 1, __ATOMIC_RELAXED);
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// SDL's types are opaque pointers here; the signatures match SDL 2's.
extern "C" {

int SDL_UpdateWindowSurface(void* window) {
  static auto next = Next<int (*)(void*)>("SDL_UpdateWindowSurface");
  Count(kUpdateSurface);
  return next(window);
}

int SDL_UpdateWindowSurfaceRects(void* window, const void* rects, int count) {
  static auto next = Next<int (*)(void*, const void*, int)>("SDL_UpdateWindowSurfaceRects");
  Count(kUpdateSurfaceRects);
  return next(window, rects, count);
}

void SDL_RenderPresent(void* renderer) {
  static auto next = Next<void (*)(void*)>("SDL_RenderPresent");
  Count(kRenderPresent);
  next(renderer);
}

void SDL_GL_SwapWindow(void* window) {
  static auto next = Next<void (*)(void*)>("SDL_GL_SwapWindow");
  Count(kGlSwap);
  next(window);
}

// libwayland-client's; its proxies are opaque here too.
int wl_proxy_add_listener(void* proxy, void (**implementation)(void), void* data) {
  static auto next = Next<int (*)(void*, void (**)(void), void*)>("wl_proxy_add_listener");
  static auto classOf = Next<const char* (*)(void*)>("wl_proxy_get_class");
  if (classOf != nullptr && std::strcmp(classOf(proxy), "wl_callback") == 0) Count(kWaylandFrame);
  return next(proxy, implementation, data);
}

}  // extern "C"
