#include "app/entry.h"

#include <exception>

#include "app/main.h"
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

int ProgramEntry() {
  return GuardedEntry({[] { Application->Initialize(); },
                       [] { Application->CreateForm(&fMain); },
                       [] { Application->Run(); }},
                      [](const Exception& exception) { Application->ShowException(&exception); });
}

}  // namespace app
