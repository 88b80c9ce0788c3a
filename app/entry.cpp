#include "app/entry.h"

#include <cstdlib>
#include <exception>

#include "app/main.h"
#include "app/screen.h"
#include "platform/application.h"

namespace app {

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

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

int ProgramEntry(const CommandLine& options) {
  return GuardedEntry({[] { Application->Initialize(); },
                       [&] {
                         Application->CreateForm(&fMain);
                         rain->lightning = options.lightning;
                         fMain->Presentation = ChoosePresentation(
                             options.screen, Environment("GDK_SCALE"), Environment("XSCREENSAVER_WINDOW"),
                             Application->Desktop(), fMain->ClientWidth, fMain->ClientHeight);
                       },
                       [] { Application->Run(); }},
                      [](const Exception& exception) { Application->ShowException(&exception); });
}

}  // namespace app
