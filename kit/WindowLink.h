#pragma once
// What the kit model needs of the main window, so that it knows nothing of the toolkit.

#include <string>

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

}  // namespace varnkit
