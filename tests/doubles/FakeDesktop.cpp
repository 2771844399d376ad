#include "tests/doubles/FakeDesktop.h"

namespace platform {

int FakeDesktop::MessageBox(const std::wstring& prompt, unsigned style, const std::wstring& title) {
  boxes_.push_back(ShownBox{prompt, style, title, pointer_});
  if (boxHook_) boxHook_(boxes_.back());
  if (answers_.empty()) return defaultAnswer_;
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void FakeDesktop::DoEvents() {
  ++doEventsCount_;
  if (doEventsHook_) {
    auto hook = doEventsHook_;  // the hook may replace itself
    hook();
  }
}

bool FakeDesktop::Start(const std::wstring& commandLine, int windowStyle) {
  starts_.push_back(StartCall{commandLine, windowStyle});
  return startSucceeds_;
}

}  // namespace platform
