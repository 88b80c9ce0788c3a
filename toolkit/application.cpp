#include "toolkit/application.h"

#include <cstdio>
#include <utility>

#include "platform/host.h"
#include "toolkit/timer.h"

TApplication* const Application = new TApplication;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() { Shutdown(); }

void TApplication::Shutdown() {
  // The window goes first, while the display still runs.
  if (backend_) backend_->Close();
  TTimer::SetDelivering(false);
  DestroyComponents();
  mainForm_ = nullptr;
  backend_.reset();
}

void TApplication::Initialize(bool x11Only) {
  if (backend_) return;
  platform::CatchEndingSignals();
  Initialize(platform::Connect(x11Only));
}

void TApplication::Initialize(std::unique_ptr<platform::Backend> backend) {
  if (backend_) return;
  platform::CatchEndingSignals();
  backend_ = std::move(backend);
  TTimer::SetDelivering(true);
}

void TApplication::Terminate() {
  terminated_ = true;
  if (mainForm_ != nullptr && mainForm_->host_ != nullptr) mainForm_->host_->Stop();
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  if (!backend_) Initialize();
  terminated_ = false;
  mainForm_->backend_ = backend_.get();
  mainForm_->Show();
  running_ = true;
  if (!terminated_) mainForm_->host_->Run();
  terminated_ = true;
}

bool TApplication::EndRequested() const { return platform::EndRequested(); }

platform::Desktop TApplication::Desktop() const { return backend_ ? backend_->DescribeDesktop() : platform::Desktop{}; }

void TApplication::ShowException(const Exception* exception, bool guest) {
  const std::string& message = exception->Message();
  // No box once the window ran, nor for a guest in another program's
  // window: there the screen belongs to someone else, and a window that
  // just went away leaves nobody to answer a box.  Without a display SDL
  // would fall back to running zenity, whose own warning would take the
  // place of our line.  The program's name, not the executable's, titles
  // both, the same in every build.
  if (!running_ && !guest && backend_ && backend_->ShowError("Rain - error", message)) return;
  std::fprintf(stderr, "Rain: %s\n", message.empty() ? "an unknown error occurred" : message.c_str());
}
