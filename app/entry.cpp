#include "app/entry.h"

#include <cstdlib>
#include <exception>
#include <new>

#include "app/main.h"
#include "toolkit/application.h"

namespace app {

int GuardedEntry(const EntrySteps& steps, const std::function<void(const Exception&)>& show) {
  try {
    steps.initialize();
    steps.createMainForm();
    steps.run();
    return 0;
  } catch (const Exception& exception) {
    show(exception);
  } catch (const std::bad_alloc&) {
    show(Exception("Out of memory"));
  } catch (const std::exception& exception) {
    show(Exception(exception.what()));
  } catch (...) {
    show(Exception(""));
  }
  return 1;
}

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

WindowOptions WindowOptionsOf(const CommandLine& options) {
  // A screensaver's settings preview never plays: the screensaver itself
  // may already.
  const bool preview = options.screen.root && options.screen.windowId;
  SoundOptions sound = options.sound;
  sound.on = sound.on && !preview;
  return {.screen = options.screen,
          .lightning = options.lightning,
          .gdkScale = Environment("GDK_SCALE"),
          .screensaverWindow = Environment("XSCREENSAVER_WINDOW"),
          .sound = sound};
}

int ProgramEntry(const CommandLine& options) {
  // Another program's window is X11's: --window-id, or the screensaver's
  // window --root draws in.
  const bool x11Only = options.screen.windowId || (options.screen.root && !Environment("XSCREENSAVER_WINDOW").empty());
  const int status = GuardedEntry({[&] {
                                     Application->Initialize(x11Only);
                                   },
                                   [&] {
                                     Application->CreateForm(&fMain, WindowOptionsOf(options));
                                   },
                                   [] { Application->Run(); }},
                                  [&](const Exception& exception) {
                                    // Asked to end, the program ends; what
                                    // went wrong meanwhile no longer matters
                                    // (a screensaver takes its window away
                                    // and ends the program together).
                                    // A guest is known from the options,
                                    // also when its window is not.
                                    const bool guest = options.screen.root || options.screen.windowId;
                                    if (!Application->EndRequested()) Application->ShowException(&exception, guest);
                                  });
  // The windows and the display go here, where the display is known to be
  // alive: had it gone, the process would have ended already.
  Application->Shutdown();
  fMain = nullptr;
  return Application->EndRequested() ? 0 : status;
}

}  // namespace app
