#pragma once
// The controls' property pages as component objects: CMidi_INPropPage and CMidi_OUTPropPage.

#include <QDialog>
#include <QPointer>

#include "midi/PropPages.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/PropertyPages.h"

namespace varnkit::midictl {

class PropPageObject : public com::IPropertyPage {
 public:
  PropPageObject(const PropPageObject&) = delete;
  PropPageObject& operator=(const PropPageObject&) = delete;

  com::HRESULT QueryInterface(const com::IID& iid, void** object) noexcept final;
  uint32_t AddRef() noexcept final { return refs_.add(); }
  uint32_t Release() noexcept final;
  com::HRESULT GetPageInfo(com::PageInfo& info) noexcept final;
  // The page exchanges no data: the objects are taken and left alone.
  com::HRESULT SetObjects(std::span<com::IUnknown* const> objects) noexcept final;
  com::HRESULT Activate(QWidget* frame) noexcept final;
  com::HRESULT Deactivate() noexcept final;
  com::HRESULT IsPageDirty() noexcept final { return com::S_FALSE; }
  com::HRESULT Apply() noexcept final { return com::S_OK; }

 protected:
  explicit PropPageObject(const PageLayout& layout) noexcept : layout_(layout) {}
  virtual ~PropPageObject();

 private:
  com::ModuleObject counted_;
  com::RefCount refs_;
  const PageLayout& layout_;
  QPointer<QDialog> page_;  // while active in a frame
};

class CMidi_INPropPage final : public PropPageObject {
 public:
  static com::HRESULT create(const com::IID& iid, void** object) noexcept;
  CMidi_INPropPage() noexcept : PropPageObject(kInPageLayout) {}
};

class CMidi_OUTPropPage final : public PropPageObject {
 public:
  static com::HRESULT create(const com::IID& iid, void** object) noexcept;
  CMidi_OUTPropPage() noexcept : PropPageObject(kOutPageLayout) {}
};

}  // namespace varnkit::midictl
