// accessibility-client: reads the installer window as a screen reader does,
// from another process, through AccessibleObjectFromWindow and IAccessible
// only. One thread.
//
//   accessibility-client read          one JSON line: the client object, its children and
//                                      the walks through them with accNavigate
//   accessibility-client press NAME    the default action of the push button named NAME
//   accessibility-client watch SECONDS JSON lines: every tree that differs from the one
//                                      before, and every focus, name, value and state
//                                      change event of the window, until the window is gone
//
// A tree is {"name","role","state","value","children":[...]}; read adds "forward"
// and "backward": {"met":[child id, or "object" for a control's own object...],
// "end":the HRESULT that ended the walk}. An event is
// {"event":"focus"|"name"|"value"|"state","child":N,"name","value"} read when it
// arrives.
// Exit codes: 0 done, 1 an accessibility call failed, 2 no such button,
// 3 no installer window.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "core/wide_win32.h"
#include "windows_ui/accessible_object_win32.h"

namespace {

using nlohmann::json;
using quarvel::win32::child_variant;
using quarvel::win32::narrow;

struct Com {
  Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Com() { CoUninitialize(); }
};

struct Release {
  void operator()(IUnknown* object) const { object->Release(); }
};
using Accessible = std::unique_ptr<IAccessible, Release>;

// The text a getter returns, freed; empty when it fails or has none.
template <class Getter>
std::string text_of(Getter getter) {
  BSTR text = nullptr;
  const HRESULT result = getter(&text);
  std::string out = SUCCEEDED(result) && text != nullptr ? narrow(text) : "";
  SysFreeString(text);
  return out;
}

// A number a getter returns as VT_I4; -1 when it fails or has none.
template <class Getter>
long number_of(Getter getter) {
  VARIANT number;
  VariantInit(&number);
  const HRESULT result = getter(&number);
  const long out = SUCCEEDED(result) && number.vt == VT_I4 ? number.lVal : -1;
  VariantClear(&number);
  return out;
}

// Name, role, state and value of one element (`id` 0 is the object itself).
json describe(IAccessible* object, long id) {
  const VARIANT child = child_variant(id);
  return {{"name", text_of([&](BSTR* out) { return object->get_accName(child, out); })},
          {"value", text_of([&](BSTR* out) { return object->get_accValue(child, out); })},
          {"role", number_of([&](VARIANT* out) { return object->get_accRole(child, out); })},
          {"state", number_of([&](VARIANT* out) { return object->get_accState(child, out); })}};
}

// The object and its children; the parent describes the two controls too.
json tree(IAccessible* object) {
  json out = describe(object, CHILDID_SELF);
  out["children"] = json::array();
  long count = 0;
  if (SUCCEEDED(object->get_accChildCount(&count))) {
    for (long id = 1; id <= count; ++id)
      out["children"].push_back(describe(object, id));
  }
  return out;
}

// From the first (last) child on with NAVDIR_NEXT (NAVDIR_PREVIOUS); a
// control's object does not say its child id, so the walk counts on from the
// child before it. More steps than any window has children end a loop.
json walk(IAccessible* object, long first, long step) {
  json met = json::array();
  VARIANT at;
  VariantInit(&at);
  HRESULT result = object->accNavigate(first, child_variant(CHILDID_SELF), &at);
  for (long place = 0; result == S_OK && met.size() < 64;) {
    place = at.vt == VT_I4 ? at.lVal : place + (step == NAVDIR_NEXT ? 1 : -1);
    met.push_back(at.vt == VT_I4 ? json(place) : json(at.vt == VT_DISPATCH ? "object" : "?"));
    VariantClear(&at);
    result = object->accNavigate(step, child_variant(place), &at);
  }
  VariantClear(&at);
  return {{"met", met}, {"end", result}};
}

HWND installer_window() {
  return FindWindowW(L"QuarvelOnlineSetup", nullptr);
}

// The window's client object; null when there is none.
Accessible client_object(HWND window) {
  IAccessible* object = nullptr;
  if (window == nullptr ||
      FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible), reinterpret_cast<void**>(&object))))
    return nullptr;
  return Accessible(object);
}

void print(const json& line) {
  std::fputs((line.dump() + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int read() {
  const Accessible object = client_object(installer_window());
  if (object == nullptr)
    return installer_window() == nullptr ? 3 : 1;
  json out = tree(object.get());
  out["forward"] = walk(object.get(), NAVDIR_FIRSTCHILD, NAVDIR_NEXT);
  out["backward"] = walk(object.get(), NAVDIR_LASTCHILD, NAVDIR_PREVIOUS);
  print(out);
  return 0;
}

int press(const std::wstring& name) {
  const Accessible object = client_object(installer_window());
  if (object == nullptr)
    return installer_window() == nullptr ? 3 : 1;
  long count = 0;
  if (FAILED(object->get_accChildCount(&count)))
    return 1;
  for (long id = 1; id <= count; ++id) {
    const json element = describe(object.get(), id);
    if (element["role"] == ROLE_SYSTEM_PUSHBUTTON && element["name"] == narrow(name))
      return SUCCEEDED(object->accDoDefaultAction(child_variant(id))) ? 0 : 1;
  }
  return 2;
}

void CALLBACK
on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object_id, LONG child, DWORD, DWORD) {
  if (window != installer_window() || object_id != OBJID_CLIENT)
    return;
  const char* kind = event == EVENT_OBJECT_FOCUS         ? "focus"
                     : event == EVENT_OBJECT_NAMECHANGE  ? "name"
                     : event == EVENT_OBJECT_VALUECHANGE ? "value"
                     : event == EVENT_OBJECT_STATECHANGE ? "state"
                                                         : nullptr;
  if (kind == nullptr)
    return;
  IAccessible* source = nullptr;
  VARIANT element;
  VariantInit(&element);
  json line = {{"event", kind}, {"child", child}};
  if (SUCCEEDED(AccessibleObjectFromEvent(window, object_id, child, &source, &element))) {
    const Accessible owned(source);
    const json described = describe(source, element.vt == VT_I4 ? element.lVal : CHILDID_SELF);
    line["name"] = described["name"];
    line["value"] = described["value"];
  }
  print(line);
}

int watch(double seconds) {
  const HWND window = installer_window();
  if (window == nullptr)
    return 3;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr,
                                             on_event, process, 0, WINEVENT_OUTOFCONTEXT);
  json last;
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  while (IsWindow(window) && GetTickCount64() < end) {
    if (const Accessible object = client_object(window)) {
      json now = tree(object.get());
      if (now != last)
        print(now);
      last = std::move(now);
    }
    // Delivers the hook's events while waiting for the next look.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
  }
  if (hook != nullptr)
    UnhookWinEvent(hook);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const Com com;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"read")
    return read();
  if (command == L"press" && argc == 3)
    return press(argv[2]);
  if (command == L"watch" && argc == 3)
    return watch(_wtof(argv[2]));
  std::fputs("usage: accessibility-client read | press NAME | watch SECONDS\n", stderr);
  return 64;
}
