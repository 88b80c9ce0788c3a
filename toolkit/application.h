// The application object: starts the display, owns the forms, and runs the
// message loop that delivers their events and their timers' events.

#pragma once

#include <memory>

#include "drawing/exception.h"
#include "platform/backend.h"
#include "toolkit/component.h"
#include "toolkit/form.h"

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Starts the display and the timers.  Throws Exception when there is no
  // display to show windows on, saying why.  From here on SIGINT and SIGTERM
  // end Run as a close does.  `x11Only` for a window that is X11's by
  // nature (another program's).
  void Initialize(bool x11Only = false);
  // The same on a display of the caller's choosing.
  void Initialize(std::unique_ptr<platform::Backend> backend);

  // Creates a form owned by the application, made with `arguments` after
  // its owner, and stores it in *reference.  The first form created is the
  // main form, the one the loop shows and delivers events to; closing it
  // ends Run.
  template <typename T, typename... Arguments>
  void CreateForm(T** reference, const Arguments&... arguments) {
    T* form = new T(this, arguments...);
    *reference = form;
    if (mainForm_ != nullptr) return;
    mainForm_ = form;
    static_cast<TForm*>(form)->onClose_ = [this] { Terminate(); };
  }

  // Shows the main form and delivers events until it is closed, Terminate
  // is called, SIGINT or SIGTERM comes, or the window drawn in goes.
  // Exceptions from event handlers leave Run, as does an X error that
  // nothing explains.
  void Run();
  void Terminate();
  // Whether SIGINT or SIGTERM asked the program to end since Initialize.
  bool EndRequested() const;

  // Read once Initialize has started the display; empty before.
  platform::Desktop Desktop() const;

  // Shows the message in a message box titled "Rain - error" while the
  // program starts in a window of its own (`guest` false); otherwise (once
  // it ran, for a guest in another program's window, without a display,
  // or when no box can be shown) prints it on stderr as one line.  SIGINT
  // and SIGTERM end the program and the box at once.
  void ShowException(const Exception* exception, bool guest = false);

  // Frees the forms and closes the display, as the destructor does; the
  // program calls it, since the global Application is never destroyed.
  void Shutdown();

 private:
  std::unique_ptr<platform::Backend> backend_;  // from Initialize on
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool running_ = false;  // Run showed the main form
};

// Made before main and never destroyed: a static destructor would close
// windows over a display connection that may already be gone.
extern TApplication* const Application;
