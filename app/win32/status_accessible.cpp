#include "app/win32/status_accessible.h"

#include <ole2.h>
#include <oleacc.h>

#include <string>

#include "app/form_texts.h"
#include "app/win32/win32_form_view.h"

namespace corvane::app::win32 {

namespace {

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr || text.empty() ? S_OK : E_OUTOFMEMORY;
}

// The system's standard object of the label (parent, location, hit test, focus, navigation) with
// what it cannot know of a window class of our own: that the label is a button, its name and
// state, and how it is pressed.
class StatusAccessible final : public IAccessible, public IOleWindow {
 public:
  StatusAccessible(HWND label, IAccessible* standard) : label_(label), standard_(standard) {}
  StatusAccessible(const StatusAccessible&) = delete;
  StatusAccessible& operator=(const StatusAccessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
    } else if (iid == __uuidof(IOleWindow)) {
      *out = static_cast<IOleWindow*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = label_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IDispatch: as the standard object answers it.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return standard_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
    return standard_->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
  }

  // IAccessible: what makes it the status button.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!::IsWindow(label_)) return CO_E_OBJNOTCONNECTED;
    const int length = ::GetWindowTextLengthW(label_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(label_, text.data(), length + 1)));
    return ReturnText(text, name);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (role == nullptr) return E_POINTER;
    ::VariantInit(role);
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PUSHBUTTON;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (state == nullptr) return E_POINTER;
    if (!::IsWindow(label_)) return CO_E_OBJNOTCONNECTED;
    LONG bits = 0;
    if (!::IsWindowVisible(label_)) bits |= STATE_SYSTEM_INVISIBLE;
    if (::IsWindowEnabled(label_)) {
      bits |= STATE_SYSTEM_FOCUSABLE;
    } else {
      bits |= STATE_SYSTEM_UNAVAILABLE;
    }
    if (::GetFocus() == label_) bits |= STATE_SYSTEM_FOCUSED;
    ::VariantInit(state);
    state->vt = VT_I4;
    state->lVal = bits;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (action == nullptr) return E_POINTER;
    *action = nullptr;
    if (!::IsWindow(label_) || !::IsWindowEnabled(label_)) return S_FALSE;
    return ReturnText(Utf8ToWide(kAccessiblePressAction), action);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!::IsWindow(label_) || !::IsWindowEnabled(label_)) return DISP_E_MEMBERNOTFOUND;
    // The update runs from the label's message queue, not inside the caller's request.
    return ::PostMessageA(label_, kStatusPressMessage, 0, 0) ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    return ReturnText(L"Enter", shortcut);
  }

  // IAccessible: the rest as the standard object answers it.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return standard_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return standard_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return standard_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return standard_->get_accFocus(focus); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return standard_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override {
    return standard_->accHitTest(left, top, child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~StatusAccessible() { standard_->Release(); }

  LONG references_ = 1;
  HWND label_;
  IAccessible* standard_;
};

}  // namespace

LRESULT AnswerStatusAccessibleObject(HWND label, WPARAM wParam) {
  IAccessible* standard = nullptr;
  // __uuidof, not IID_IAccessible: mingw-w64's oleacc import library takes that name for an import
  // of the DLL's data, so the program would pass the address of a jump stub as the interface id.
  if (FAILED(::CreateStdAccessibleObject(label, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&standard))) ||
      standard == nullptr) {
    return 0;
  }
  auto* object = new StatusAccessible(label, standard);
  const LRESULT answer = ::LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(object));
  object->Release();
  return answer < 0 ? 0 : answer;
}

}  // namespace corvane::app::win32
