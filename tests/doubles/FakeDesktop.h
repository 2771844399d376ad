#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Desktop.h"

#include "platform/WinNamesBegin.h"

namespace platform {

// A message box that was shown, with the mouse pointer at that moment.
struct ShownBox {
  std::wstring prompt;
  unsigned style = 0;
  std::wstring title;
  int mousePointer = kPointerDefault;
};

// A recorded Start call.
struct StartCall {
  std::wstring commandLine;
  int windowStyle = 0;
  friend bool operator==(const StartCall&, const StartCall&) = default;
};

// A desktop without a screen. Message boxes answer from a queue of answers, then with the default
// answer (1, OK); every box is recorded. DoEvents counts its calls and runs the hook, which the
// headless UI toolkit sets to run its pending events.
//
//   desk.QueueAnswer(6);               // the next box is answered "Yes"
//   ... code under test ...
//   EXPECT_EQ(desk.Boxes().at(0).prompt, L"...");
class FakeDesktop : public IDesktop {
 public:
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  void SetDefaultAnswer(int answer) { defaultAnswer_ = answer; }
  // Runs for every DoEvents (empty: nothing runs). The hook may call DoEvents again.
  void SetDoEventsHook(std::function<void()> hook) { doEventsHook_ = std::move(hook); }
  // Runs for every message box after it is recorded and before it is answered (empty: nothing runs),
  // e.g. to check the state of the program while a box is up.
  void SetMessageBoxHook(std::function<void(const ShownBox&)> hook) { boxHook_ = std::move(hook); }
  // Whether Start succeeds (default true).
  void SetStartSucceeds(bool succeeds) { startSucceeds_ = succeeds; }

  const std::vector<ShownBox>& Boxes() const noexcept { return boxes_; }
  std::size_t DoEventsCount() const noexcept { return doEventsCount_; }
  const std::vector<StartCall>& Starts() const noexcept { return starts_; }
  std::size_t PendingAnswers() const noexcept { return answers_.size(); }

  int MessageBox(const std::wstring& prompt, unsigned style, const std::wstring& title) override;
  int MousePointer() override { return pointer_; }
  void SetMousePointer(int pointer) override { pointer_ = pointer; }
  void DoEvents() override;
  // Recorded even when it fails.
  bool Start(const std::wstring& commandLine, int windowStyle) override;

 private:
  std::deque<int> answers_;
  int defaultAnswer_ = 1;
  int pointer_ = kPointerDefault;
  std::function<void()> doEventsHook_;
  std::function<void(const ShownBox&)> boxHook_;
  bool startSucceeds_ = true;
  std::vector<ShownBox> boxes_;
  std::size_t doEventsCount_ = 0;
  std::vector<StartCall> starts_;
};

}  // namespace platform

#include "platform/WinNamesEnd.h"
