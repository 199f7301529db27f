#pragma once
// What the kit model needs of the main window, so that it knows nothing of the toolkit.

#include <string>
#include <utility>
#include <vector>

namespace varnkit {

// The pads and group indicators of the main window, numbered 0 to 8.
class PadView {
 public:
  virtual ~PadView() = default;
  // The tooltip text of pad control pad. User-interface thread.
  virtual void SetPadTooltip(int pad, const std::string& text) = 0;
  // Shows the image of group 0, 1 or 2 on group indicator pad. User-interface thread.
  virtual void ShowGroupImage(int pad, int group) = 0;
};

// The caption of the main window.
class CaptionView {
 public:
  virtual ~CaptionView() = default;
  // User-interface thread.
  virtual void SetCaption(const std::string& caption) = 0;
};

// The box where the user types the kit's name.
class KitNameBox {
 public:
  virtual ~KitNameBox() = default;
  // Its text as it stands. User-interface thread.
  virtual std::string KitNameText() const = 0;
};

// Buttons and icons of a message box, and the answers, as the window toolkit numbers them.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNo = 4;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Modal message boxes; tests answer them directly.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows prompt with the buttons and icon of buttons under title; returns the answer.
  // User-interface thread.
  virtual int MsgBox(const std::string& prompt, int buttons, const std::string& title) = 0;
};

// Everything of the window the kit model reaches.
struct WindowLink {
  PadView& pads;
  CaptionView& caption;
  KitNameBox& nameBox;
  MessageBoxes& boxes;
};

// No window at all, for tools that build and save kits: shows nothing and keeps what it is
// told. It has no user to ask, so it never answers a question with Yes on its own: only the
// replacing its tool's user agreed to beforehand (mayReplace) is answered Yes; every other
// question is answered No and kept in refused, for the tool to say so.
struct Headless : PadView, CaptionView, KitNameBox, MessageBoxes {
  explicit Headless(std::string kitName, bool mayReplace = false)
      : name(std::move(kitName)), mayReplace(mayReplace) {}
  void SetPadTooltip(int, const std::string&) override {}
  void ShowGroupImage(int, int) override {}
  void SetCaption(const std::string&) override {}
  std::string KitNameText() const override { return name; }
  int MsgBox(const std::string& prompt, int buttons, const std::string&) override {
    if ((buttons & 7) != vbYesNo) {
      told.push_back(prompt);
      return vbOK;
    }
    if (mayReplace) return vbYes;
    refused.push_back(prompt);
    return vbNo;
  }
  WindowLink link() { return WindowLink{*this, *this, *this, *this}; }

  std::string name;
  bool mayReplace;
  std::vector<std::string> told;
  std::vector<std::string> refused;
};

}  // namespace varnkit
