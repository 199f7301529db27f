#pragma once
// The controls' property pages: each an empty page captioned "General", with no fields and no
// data to exchange with its control.

class QDialog;
class QWidget;

namespace varnkit::midictl {

struct PageLayout {
  int width;  // dialog units
  int height;
};

inline constexpr PageLayout kInPageLayout{154, 62};
inline constexpr PageLayout kOutPageLayout{147, 66};

// The caption of both pages.
inline constexpr char kPageCaption[] = "General";

// A page laid out as layout: a child of frame when one is given, else a dialog of its own.
// A plain QDialog, so that it may outlive the module's code. User-interface thread.
QDialog* NewPropertyPage(const PageLayout& layout, QWidget* frame);

}  // namespace varnkit::midictl
