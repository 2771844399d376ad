#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Controls.h"
#include "ui/Types.h"
#include "ui/WindowApi.h"

namespace ui {

// A line drawn on a form's surface, in twips. The form keeps its drawing and repaints it from memory.
struct DrawnLine {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  Color color = kBlack;
};

// A top-level window. A form's class builds its controls and menus in its constructor (the design) and
// sets their handlers; nothing is created on screen until Load (or Show, which loads).
//
// Lifecycle: created -> loaded (Load event) -> shown / hidden -> unloaded (Unload event) -> may load
// again; properties of the form and its controls keep their values across an unload. Destroying the form
// object unloads it without raising events.
class Form {
 public:
  explicit Form(std::wstring name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // The form's type name, the first part of every event's source tag.
  const std::wstring& Name() const noexcept { return name_; }

  const std::wstring& Caption() const noexcept { return caption_; }
  void SetCaption(const std::wstring& caption);
  ui::BorderStyle BorderStyle() const noexcept { return border_; }
  void SetBorderStyle(ui::BorderStyle border) noexcept { border_ = border; }
  // The inner (client) area, in twips.
  int ScaleWidth() const noexcept { return clientWidth_; }
  int ScaleHeight() const noexcept { return clientHeight_; }
  void SetClientSize(int widthTwips, int heightTwips);
  Color BackColor() const noexcept { return backColor_; }
  void SetBackColor(Color color);
  // A disabled form takes no input: its controls cannot be clicked or typed into, its close box and keys
  // do nothing. Its controls keep their own Enabled.
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled);
  // With KeyPreview the form's KeyPress sees every character typed in it first.
  bool KeyPreview() const noexcept { return keyPreview_; }
  void SetKeyPreview(bool value) noexcept { keyPreview_ = value; }

  // Menu bar: the top-level menus, in order.
  MenuItem& AddMenu(std::wstring name, std::wstring caption);
  const std::vector<std::unique_ptr<MenuItem>>& Menus() const noexcept { return menus_; }
  // A menu entry at any depth by name; null when none.
  MenuItem* FindMenu(const std::wstring& name) noexcept;

  // Loads the form when it is not loaded: creates its windows and raises Load. When its windows or
  // timers cannot be had, the error reaches the caller and the form stays unloaded (so Show and
  // ShowModal show nothing and serve no modal loop). An error of the Load handler reaches the caller
  // (the form stays loaded).
  void Load();
  // Shows without blocking; `owner` (may be null) stays below the form.
  void Show(Form* owner = nullptr);
  // Shows and returns only when the form has been hidden or unloaded (or the program has ended); the
  // program's other windows take no input meanwhile.
  void ShowModal(Form* owner = nullptr);
  void Hide();
  // Raises Unload, Terminate of its user controls, and destroys its windows. Nothing when not loaded.
  void Unload();
  bool Loaded() const noexcept { return loaded_; }
  bool Visible() const noexcept { return visible_; }
  bool IsModal() const noexcept { return modal_; }
  Form* Owner() const noexcept { return owner_; }

  // Drawing on the form's surface, in twips.
  void DrawLine(int x1, int y1, int x2, int y2, Color color);
  const std::vector<DrawnLine>& Drawing() const noexcept { return lines_; }

  // Events.
  std::function<void()> OnLoad;
  std::function<void()> OnActivate;
  std::function<void()> OnUnload;
  // Asked before the user's close (close box, Alt+F4) unloads the form; setting `cancel` keeps it loaded.
  // `unloadMode` says who closes: kFormControlMenu, the user.
  std::function<void(bool& cancel, int unloadMode)> OnQueryUnload;
  static constexpr int kFormControlMenu = 0;
  // A typed character; set the code to 0 to swallow it.
  std::function<void(int& keyAscii)> OnKeyPress;

  // User input. A key: Enter presses the default button and Escape the cancel button when there is one;
  // otherwise (and for every other key) KeyPress sees it first with KeyPreview, then the focused text
  // box receives it.
  void UserKeyPress(int keyAscii);
  // The close box (or Alt+F4): raises QueryUnload, then unloads the form unless it was cancelled; nothing
  // while the form is disabled.
  void UserClose();
  // Backend: the form became the active window.
  void Activated();
  // Backend: raises KeyPress (with KeyPreview) for a typed character; `keyAscii` may come back changed,
  // or 0 when the handler swallowed it.
  void PreviewKeyPress(int& keyAscii);
  // Backend: the control that holds the keyboard focus as the window system last reported it.
  void NoteFocus(Control* control) noexcept { focused_ = control; }

  // Controls, menus and timers of the form, in construction (tab) order.
  const std::vector<Control*>& Controls() const noexcept { return controls_; }
  const std::vector<Timer*>& Timers() const noexcept { return timers_; }
  Control* FindControl(const std::wstring& name) const noexcept;
  Button* DefaultButton() const noexcept { return defaultButton_; }
  Button* CancelButton() const noexcept { return cancelButton_; }
  Control* Focused() const noexcept { return focused_; }

  WindowHandle Native() const noexcept { return native_; }
  void SetNative(WindowHandle native) noexcept { native_ = native; }

 private:
  friend class Control;
  friend class Button;
  friend class Timer;
  void Register(Control* control);
  void Unregister(Control* control) noexcept;
  void Register(Timer* timer);
  void Unregister(Timer* timer) noexcept;
  void SetFocused(Control* control) noexcept { focused_ = control; }
  void SetDefaultButton(Button* button);
  void SetCancelButton(Button* button) noexcept { cancelButton_ = button; }
  std::wstring Source(const wchar_t* event) const;
  // An unload after its Unload event: Terminate of the user controls, the timers stopped, the windows
  // destroyed.
  void Teardown();

  std::wstring name_;
  std::wstring caption_;
  ui::BorderStyle border_ = ui::BorderStyle::FixedSingle;
  int clientWidth_ = 4800;
  int clientHeight_ = 3600;
  Color backColor_ = kButtonFace;
  bool keyPreview_ = false;
  bool enabled_ = true;
  bool loaded_ = false;
  bool visible_ = false;
  bool modal_ = false;
  Form* owner_ = nullptr;
  std::vector<Control*> controls_;
  std::vector<Timer*> timers_;
  std::vector<std::unique_ptr<MenuItem>> menus_;
  std::vector<DrawnLine> lines_;
  Button* defaultButton_ = nullptr;
  Button* cancelButton_ = nullptr;
  Control* focused_ = nullptr;
  WindowHandle native_ = 0;
};

}  // namespace ui
