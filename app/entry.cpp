#include "entry.h"

#include <exception>

#include "forms.h"
#include "main.h"

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
  const int status = GuardedEntry({[] { Application->Initialize(); },
                                   [] { Application->CreateForm(&fMain); },
                                   [] { Application->Run(); }},
                                  [](const Exception& exception) { Application->ShowException(&exception); });
  // The windows and the display go here, where the display is known to be
  // alive: had it gone, the process would have ended already.
  Application->Shutdown();
  fMain = nullptr;
  return status;
}
