#include "midi/module/PropPageObject.h"

#include <QApplication>
#include <QThread>
#include <memory>

#include "midi/DialogUnits.h"

namespace varnkit::midictl {

using namespace com;

namespace {

bool onUserInterfaceThread() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

PropPageObject::~PropPageObject() {
  if (!page_) return;
  if (onUserInterfaceThread()) {
    delete page_.data();
  } else {
    page_->deleteLater();
  }
}

HRESULT PropPageObject::QueryInterface(const IID& iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IUnknown::iid || iid == IPropertyPage::iid) return handOut(this, object);
  return E_NOINTERFACE;
}

uint32_t PropPageObject::Release() noexcept {
  const uint32_t left = refs_.remove();
  if (left == 0) delete this;
  return left;
}

HRESULT PropPageObject::GetPageInfo(PageInfo& info) noexcept {
  try {
    info.title = kPageCaption;
    info.width = dluToPixelsX(layout_.width);
    info.height = dluToPixelsY(layout_.height);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT PropPageObject::SetObjects(std::span<IUnknown* const>) noexcept {
  return S_OK;
}

HRESULT PropPageObject::Activate(QWidget* frame) noexcept {
  if (!onUserInterfaceThread()) return RPC_E_WRONG_THREAD;
  if (page_) return E_UNEXPECTED;
  try {
    if (frame == nullptr) {
      std::unique_ptr<QDialog> dialog(NewPropertyPage(layout_, nullptr));
      dialog->exec();
      return S_OK;
    }
    page_ = NewPropertyPage(layout_, frame);
    page_->show();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT PropPageObject::Deactivate() noexcept {
  delete page_.data();
  return S_OK;
}

HRESULT CMidi_INPropPage::create(const IID& iid, void** object) noexcept {
  return createObject<CMidi_INPropPage>(iid, object);
}

HRESULT CMidi_OUTPropPage::create(const IID& iid, void** object) noexcept {
  return createObject<CMidi_OUTPropPage>(iid, object);
}

}  // namespace varnkit::midictl
