#include "app/entry.h"

#include <exception>

#include "app/main.h"
#include "platform/application.h"

namespace app {

namespace {

// Under a driver that draws nowhere (SDL_VIDEODRIVER=dummy or offscreen) the
// animation would run unseen, so such a start fails as one without a
// display does.
void RequireScreen() {
  if (Application->ShowsOnScreen()) return;
  throw Exception("Cannot open a window: the video driver \"" + Application->VideoDriver() +
                  "\" shows nothing on a screen (unset SDL_VIDEODRIVER)");
}

}  // namespace

int GuardedEntry(const EntrySteps& steps, const std::function<void(const Exception&)>& show) {
  try {
    steps.initialize();
    steps.createMainForm();
    steps.run();
    return 0;
  } catch (const Exception& exception) {
    show(exception);
  } catch (const std::exception& exception) {
    show(Exception(exception.what()));
  } catch (...) {
    show(Exception(""));
  }
  return 1;
}

int ProgramEntry() {
  const int status = GuardedEntry({[] {
                                     Application->Initialize();
                                     RequireScreen();
                                   },
                                   [] { Application->CreateForm(&fMain); },
                                   [] { Application->Run(); }},
                                  [](const Exception& exception) { Application->ShowException(&exception); });
  // The windows and the display go here, where the display is known to be
  // alive: had it gone, the process would have ended already.
  Application->Shutdown();
  fMain = nullptr;
  return status;
}

}  // namespace app
