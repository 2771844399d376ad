#include "ui/Backend.h"

#include <new>
#include <string>

#include "common/Error.h"
#include "platform/Platform.h"

namespace ui {
namespace {

std::unique_ptr<IBackend>& Installed() {
  static std::unique_ptr<IBackend> backend;
  return backend;
}

struct ApplicationState {
  bool ended = false;
  int exitCode = 0;
  UnhandledErrorHandler onUnhandled;
  bool reporting = false;
};

ApplicationState& App() {
  static ApplicationState state;
  return state;
}

// The toolkit's own run-time error box, used until the program installs its handler.
void DefaultUnhandled(const CError& error, const std::wstring&) {
  std::wstring text = L"Run-time error '" + std::to_wstring(error.Number()) + L"':\r\n\r\n" + error.Description();
  platform::Desktop().MessageBox(text, 16, L"");
  Quit(1);
}

}  // namespace

IBackend& Backend() {
  auto& backend = Installed();
  if (!backend) throw CError(err::kInternalError, L"Internal error: the windowing toolkit has no backend");
  return *backend;
}

std::unique_ptr<IBackend> SetBackend(std::unique_ptr<IBackend> backend) {
  auto previous = std::move(Installed());
  Installed() = std::move(backend);
  App().ended = false;
  App().exitCode = 0;
  App().reporting = false;
  return previous;
}

int TwipsToPixels(int twips) {
  const long long dpi = Backend().Dpi();
  const long long scaled = static_cast<long long>(twips) * dpi;
  // Rounded to the nearest pixel, halves away from zero.
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

int PixelsToTwips(int pixels) {
  const int dpi = Backend().Dpi();
  return dpi > 0 ? static_cast<int>(static_cast<long long>(pixels) * 1440 / dpi) : 0;
}

void DoEvents() { Backend().DoEvents(); }
std::wstring ClipboardText() { return Backend().ClipboardText(); }
bool SetClipboardText(const std::wstring& text) { return Backend().SetClipboardText(text); }
IWindowApi& Windows() { return Backend().Windows(); }

void Quit(int exitCode) {
  if (App().ended) return;  // the first reason to end is the one that counts
  App().ended = true;
  App().exitCode = exitCode;
}
bool Ended() { return App().ended; }
int ExitCode() { return App().exitCode; }

void SetUnhandledErrorHandler(UnhandledErrorHandler handler) { App().onUnhandled = std::move(handler); }

void ReportUnhandledError(const CError& error, const std::wstring& source) noexcept {
  // One report at a time: the messages served while its box shows may fail again (a window that cannot
  // paint), and those errors end the program with the first one rather than stack boxes without end.
  if (!App().reporting) {
    App().reporting = true;
    try {
      if (App().onUnhandled) {
        App().onUnhandled(error, source);
      } else {
        DefaultUnhandled(error, source);
      }
    } catch (...) {
      // The report itself failed (no message box to be had): the program still ends, with an error code.
    }
    App().reporting = false;
  }
  Quit(1);
}

void Raise(const std::wstring& source, const std::function<void()>& handler) noexcept {
  if (!handler) return;
  try {
    handler();
  } catch (...) {
    ReportUnhandledError(CurrentError(), source);
  }
}

}  // namespace ui
