#include "windows_ui/accessible_object_win32.h"

#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

#include "core/system_libraries_win32.h"
#include "core/wide_win32.h"
#include "windows_ui/layout.h"
#include "windows_ui/paint_plan.h"
#include "windows_ui/window_look_win32.h"

namespace quarvel::win32 {
namespace {

static_assert(static_cast<LONG>(AccessibleRole::kListItem) == ROLE_SYSTEM_LISTITEM &&
              static_cast<LONG>(AccessibleRole::kPushButton) == ROLE_SYSTEM_PUSHBUTTON &&
              static_cast<LONG>(AccessibleRole::kStaticText) == ROLE_SYSTEM_STATICTEXT &&
              static_cast<LONG>(AccessibleRole::kProgressBar) == ROLE_SYSTEM_PROGRESSBAR);
static_assert(kStateUnavailable == STATE_SYSTEM_UNAVAILABLE &&
              kStateSelected == STATE_SYSTEM_SELECTED && kStateFocused == STATE_SYSTEM_FOCUSED &&
              kStateChecked == STATE_SYSTEM_CHECKED && kStateReadOnly == STATE_SYSTEM_READONLY &&
              kStateFocusable == STATE_SYSTEM_FOCUSABLE);
static_assert(static_cast<long>(NavigationDirection::kUp) == NAVDIR_UP &&
              static_cast<long>(NavigationDirection::kNext) == NAVDIR_NEXT &&
              static_cast<long>(NavigationDirection::kLastChild) == NAVDIR_LASTCHILD);

// Holds one reference and releases it.
template <class Interface>
class ComRef {
 public:
  explicit ComRef(Interface* object = nullptr) : object_(object) {}
  ~ComRef() {
    if (object_ != nullptr)
      object_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  Interface* get() const { return object_; }
  Interface* operator->() const { return object_; }
  void reset() {
    if (object_ != nullptr)
      object_->Release();
    object_ = nullptr;
  }

 private:
  Interface* object_;
};

enum class Content {
  kMainWindow,   // the painted children of the client area and the two controls
  kLocationBox,  // the box's standard object with a name
};

bool is_self(const VARIANT& child) {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// S_FALSE and no string for an empty text, as for an element without one.
HRESULT text_result(const std::string& text, BSTR* out) {
  if (text.empty())
    return S_FALSE;
  const std::wstring wide = widen(text);
  *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT number_result(LONG number, VARIANT* out) {
  out->vt = VT_I4;
  out->lVal = number;
  return S_OK;
}

const OleaccApi& oleacc() {
  // The objects exist only once oleacc_api() has succeeded.
  return *oleacc_api();
}

class AccessibleClient;

// The objects made for the window and not yet released, so that the window's
// end can disconnect them; none is made after it. Window thread only.
std::vector<AccessibleClient*> g_objects;
bool g_window_gone = false;

// The window's client object: the main window's painted children, decided
// anew from a snapshot at each call, beside the two controls' own objects;
// for the location box, its standard object with a name. What the standard
// object knows (the window's title, place, parent) comes from it. Once the
// window is destroyed, every call answers CO_E_OBJNOTCONNECTED without
// touching a window handle: clients may hold the object for longer.
class AccessibleClient final : public IAccessible {
 public:
  AccessibleClient(HWND window, IAccessible* standard, Content content)
      : window_(window), standard_(standard), content_(content) {
    g_objects.push_back(this);
  }
  ~AccessibleClient() { std::erase(g_objects, this); }
  AccessibleClient(const AccessibleClient&) = delete;
  AccessibleClient& operator=(const AccessibleClient&) = delete;

  // The window is gone: the standard object is released and no call reaches
  // a window handle any more.
  void disconnect() {
    standard_.reset();
    window_ = nullptr;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (out == nullptr)
      return E_POINTER;
    if (id != __uuidof(IUnknown) && id != __uuidof(IDispatch) && id != __uuidof(IAccessible)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0)
      delete this;
    return left;
  }

  // No type information: clients call IAccessible directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return gone() ? CO_E_OBJNOTCONNECTED : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return not_here(); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return not_here();
  }
  HRESULT STDMETHODCALLTYPE
  Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return not_here();
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    *parent = nullptr;
    return gone() ? CO_E_OBJNOTCONNECTED : standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    *count = 0;
    if (gone())
      return CO_E_OBJNOTCONNECTED;
    if (content_ != Content::kMainWindow)
      return standard_->get_accChildCount(count);
    *count = static_cast<long>(children().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    *out = nullptr;
    if (gone())
      return CO_E_OBJNOTCONNECTED;
    if (content_ != Content::kMainWindow)
      return standard_->get_accChild(child, out);
    const std::optional<AccessibleElement> element = element_of(child);
    if (!element)
      return E_INVALIDARG;
    if (element->control_id == 0)
      return S_FALSE;  // a simple element: the parent describes it
    return oleacc().accessible_object_from_window(
        GetDlgItem(window_, element->control_id), static_cast<DWORD>(OBJID_WINDOW),
        __uuidof(IDispatch), reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    *out = nullptr;
    if (content_ == Content::kLocationBox && is_self(child) && !gone())
      return text_result(location_box_name(), out);
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->get_accName(id, out); },
        [&](const AccessibleElement& e) { return text_result(e.name, out); });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    *out = nullptr;
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->get_accValue(id, out); },
        [&](const AccessibleElement& e) { return text_result(e.value, out); });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    *out = nullptr;
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->get_accDescription(id, out); },
        [](const AccessibleElement&) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    VariantInit(out);
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->get_accRole(id, out); },
        [&](const AccessibleElement& e) { return number_result(static_cast<LONG>(e.role), out); });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    VariantInit(out);
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->get_accState(id, out); },
        [&](const AccessibleElement& e) { return number_result(static_cast<LONG>(e.state), out); });
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
    *out = nullptr;
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->get_accHelp(id, out); },
        [](const AccessibleElement&) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    *file = nullptr;
    return route(
        child,
        [&](IAccessible* object, VARIANT id) { return object->get_accHelpTopic(file, id, topic); },
        [](const AccessibleElement&) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    *out = nullptr;
    return route(
        child,
        [&](IAccessible* object, VARIANT id) { return object->get_accKeyboardShortcut(id, out); },
        [](const AccessibleElement&) { return S_FALSE; });
  }
  // The main button while the main window has the focus; a control's
  // object while it has, as the standard object tells.
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    VariantInit(out);
    if (gone())
      return CO_E_OBJNOTCONNECTED;
    if (content_ == Content::kMainWindow) {
      if (const std::optional<int> id = focused_child(children()))
        return number_result(*id, out);
    }
    return standard_->get_accFocus(out);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    VariantInit(out);
    return gone() ? CO_E_OBJNOTCONNECTED : standard_->get_accSelection(out);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    *out = nullptr;
    return route(
        child,
        [&](IAccessible* object, VARIANT id) { return object->get_accDefaultAction(id, out); },
        [&](const AccessibleElement& e) {
          return e.presses_main_button ? text_result(kPressAction, out) : S_FALSE;
        });
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->accSelect(flags, id); },
        [](const AccessibleElement&) { return DISP_E_MEMBERNOTFOUND; });
  }
  HRESULT STDMETHODCALLTYPE
  accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    return route(
        child,
        [&](IAccessible* object, VARIANT id) {
          return object->accLocation(left, top, width, height, id);
        },
        [&](const AccessibleElement& e) {
          const PixelRect edges = scale_edges(e.rect, layout_dpi());
          POINT origin{edges.left, edges.top};
          ClientToScreen(window_, &origin);
          *left = origin.x;
          *top = origin.y;
          *width = edges.right - edges.left;
          *height = edges.bottom - edges.top;
          return S_OK;
        });
  }
  // Among the children in the order of their list; the client object
  // itself among its window's siblings as the standard object tells.
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    VariantInit(end);
    if (gone())
      return CO_E_OBJNOTCONNECTED;
    if (content_ != Content::kMainWindow)
      return standard_->accNavigate(direction, start, end);
    if (start.vt != VT_I4)
      return E_INVALIDARG;
    const std::vector<AccessibleElement> elements = children();
    const Navigation to = navigate(direction, start.lVal, static_cast<int>(elements.size()));
    switch (to.kind) {
      case Navigation::Kind::kChild:
        return child_result(elements, to.child_id, end);
      case Navigation::Kind::kNone:
        return S_FALSE;
      case Navigation::Kind::kFromWindow:
        return standard_->accNavigate(direction, start, end);
      case Navigation::Kind::kUnsupported:
        return DISP_E_MEMBERNOTFOUND;
      case Navigation::Kind::kInvalid:
        break;
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    VariantInit(out);
    if (gone())
      return CO_E_OBJNOTCONNECTED;
    if (content_ != Content::kMainWindow)
      return standard_->accHitTest(x, y, out);
    POINT point{x, y};
    ScreenToClient(window_, &point);
    const std::vector<AccessibleElement> elements = children();
    const std::optional<int> id = accessible_child_at(elements, point.x, point.y, layout_dpi());
    if (!id)
      return standard_->accHitTest(x, y, out);
    return child_result(elements, *id, out);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return route(
        child, [&](IAccessible* object, VARIANT id) { return object->accDoDefaultAction(id); },
        [&](const AccessibleElement& e) -> HRESULT {
          if (!e.presses_main_button)
            return DISP_E_MEMBERNOTFOUND;
          // Through the message loop, as a click arrives.
          return PostMessageW(window_, kPressMainButtonMessage, 0, 0) ? S_OK : E_FAIL;
        });
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return not_here(); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return not_here(); }

 private:
  bool gone() const { return standard_.get() == nullptr; }
  HRESULT not_here() const { return gone() ? CO_E_OBJNOTCONNECTED : E_NOTIMPL; }

  std::vector<AccessibleElement> children() const {
    return accessible_elements(window_snapshot(window_));
  }

  // Child `id` as a result: its id for a painted element, the control's own
  // object for a control.
  HRESULT child_result(const std::vector<AccessibleElement>& elements, int id, VARIANT* out) {
    if (elements[id - 1].control_id == 0)
      return number_result(id, out);
    IDispatch* control = nullptr;
    const HRESULT result = get_accChild(child_variant(id), &control);
    if (result != S_OK)
      return FAILED(result) ? result : E_FAIL;
    out->vt = VT_DISPATCH;
    out->pdispVal = control;
    return S_OK;
  }

  // The element a child id names; nullopt for an id outside the list.
  std::optional<AccessibleElement> element_of(const VARIANT& child) const {
    if (child.vt != VT_I4)
      return std::nullopt;
    std::vector<AccessibleElement> elements = children();
    if (child.lVal < 1 || static_cast<size_t>(child.lVal) > elements.size())
      return std::nullopt;
    return std::move(elements[child.lVal - 1]);
  }

  // Sends a query about `child` where it belongs: the standard object for
  // the object itself (and everything of the location box), a control's own
  // client object for the two controls, `painted` for a painted element.
  template <class Forward, class Painted>
  HRESULT route(const VARIANT& child, Forward forward, Painted painted) {
    if (gone())
      return CO_E_OBJNOTCONNECTED;
    if (content_ != Content::kMainWindow || is_self(child))
      return forward(standard_.get(), child);
    const std::optional<AccessibleElement> element = element_of(child);
    if (!element)
      return E_INVALIDARG;
    if (element->control_id == 0)
      return painted(*element);
    IAccessible* control = nullptr;
    const HRESULT found = oleacc().accessible_object_from_window(
        GetDlgItem(window_, element->control_id), static_cast<DWORD>(OBJID_CLIENT),
        __uuidof(IAccessible), reinterpret_cast<void**>(&control));
    if (FAILED(found))
      return found;
    const ComRef<IAccessible> owned(control);
    return forward(control, child_variant(CHILDID_SELF));
  }

  std::atomic<ULONG> references_{1};
  HWND window_;
  ComRef<IAccessible> standard_;  // null once the window is gone
  Content content_;
};

std::optional<LRESULT> answer(HWND window, WPARAM wparam, LPARAM lparam, Content content) {
  // Compared as a DWORD: 64-bit Windows may sign-extend the id in lParam.
  if (static_cast<DWORD>(lparam) != static_cast<DWORD>(OBJID_CLIENT) || g_window_gone)
    return std::nullopt;
  const OleaccApi* api = oleacc_api();
  IAccessible* standard = nullptr;
  if (api == nullptr ||
      FAILED(api->create_std_accessible_object(window, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&standard)))) {
    return std::nullopt;
  }
  auto* object = new (std::nothrow) AccessibleClient(window, standard, content);
  if (object == nullptr) {
    standard->Release();
    return std::nullopt;
  }
  const LRESULT result = api->lresult_from_object(__uuidof(IAccessible), wparam, object);
  // The reference the result stands for is LresultFromObject's own.
  object->Release();
  if (result < 0)
    return std::nullopt;
  return result;
}

LRESULT CALLBACK location_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto standard = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(box, GWLP_USERDATA));
  if (message == WM_GETOBJECT) {
    if (const std::optional<LRESULT> result = answer(box, wparam, lparam, Content::kLocationBox))
      return *result;
  }
  return CallWindowProcW(standard, box, message, wparam, lparam);
}

}  // namespace

std::optional<LRESULT> answer_get_object(HWND window, WPARAM wparam, LPARAM lparam) {
  return answer(window, wparam, lparam, Content::kMainWindow);
}

void name_location_box(HWND box) {
  if (box == nullptr)
    return;
  // The edit control's own procedure, kept first where the new one finds it.
  SetWindowLongPtrW(box, GWLP_USERDATA, GetWindowLongPtrW(box, GWLP_WNDPROC));
  SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(location_box_proc));
}

void disconnect_accessible_objects() {
  g_window_gone = true;
  for (AccessibleClient* object : g_objects)
    object->disconnect();
}

void announce_focus(HWND window) {
  if (const std::optional<int> id = focused_child(accessible_elements(window_snapshot(window))))
    NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, *id);
}

void announce(HWND window, const std::vector<AccessibleChange>& changes) {
  for (const AccessibleChange& change : changes) {
    const DWORD event = change.kind == AccessibleChangeKind::kName    ? EVENT_OBJECT_NAMECHANGE
                        : change.kind == AccessibleChangeKind::kValue ? EVENT_OBJECT_VALUECHANGE
                                                                      : EVENT_OBJECT_STATECHANGE;
    NotifyWinEvent(event, window, OBJID_CLIENT, change.child_id);
  }
}

}  // namespace quarvel::win32
