#pragma once
// Property pages: an object names the classes of its pages, and a page shows itself inside a
// frame the host provides (or as a modal dialog of its own when there is none).

#include <span>
#include <string>
#include <vector>

#include "platform/com/Unknown.h"

class QWidget;

namespace varnkit::com {

class ISpecifyPropertyPages : public IUnknown {
 public:
  static constexpr IID iid = guid("{1A022B32-B871-464E-9CE7-DC537A0DF230}");

  // The class ids of the object's property pages, in order.
  virtual HRESULT GetPages(std::vector<CLSID>& pages) noexcept = 0;

 protected:
  ~ISpecifyPropertyPages() = default;
};

struct PageInfo {
  std::string title;
  int width = 0;  // logical pixels
  int height = 0;
};

// All members: the user-interface thread of a running QApplication.
class IPropertyPage : public IUnknown {
 public:
  static constexpr IID iid = guid("{1523B792-7FD9-426E-972D-0F650E182D48}");

  // The page's caption and size.
  virtual HRESULT GetPageInfo(PageInfo& info) noexcept = 0;
  // The objects whose properties the page shows.
  virtual HRESULT SetObjects(std::span<IUnknown* const> objects) noexcept = 0;
  // Shows the page inside frame; with a null frame, as a modal dialog that has closed again
  // when this returns.
  virtual HRESULT Activate(QWidget* frame) noexcept = 0;
  // Removes the page from its frame.
  virtual HRESULT Deactivate() noexcept = 0;
  // S_OK when the page holds changes not yet applied, else S_FALSE.
  virtual HRESULT IsPageDirty() noexcept = 0;
  // Writes the page's changes to the objects.
  virtual HRESULT Apply() noexcept = 0;

 protected:
  ~IPropertyPage() = default;
};

}  // namespace varnkit::com
