#include "windows_ui/folder_picker_win32.h"

#include <shobjidl.h>

#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/wide_win32.h"
#include "windows_ui/layout.h"
#include "windows_ui/window_input.h"
#include "windows_ui/window_state.h"

namespace quarvel::win32 {
namespace {

constexpr CLSID kFileOpenDialogClass = {0xDC1C5A9C,
                                        0xE88A,
                                        0x4DDE,
                                        {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};
constexpr IID kFileOpenDialogInterface = {0xD57C7288,
                                          0xD4AD,
                                          0x4768,
                                          {0xBE, 0x02, 0x9D, 0x96, 0x95, 0x32, 0xD9, 0x60}};
// FOS_NOCHANGEDIR | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM, the complete set.
constexpr FILEOPENDIALOGOPTIONS kDialogOptions = 0x68;
static_assert(kDialogOptions == (FOS_NOCHANGEDIR | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM));

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <class Interface>
using ComPtr = std::unique_ptr<Interface, ComRelease>;

struct TaskMemFree {
  void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

// The path of the folder the user chose, already completed; nullopt on any
// failure or when the user cancelled. The item and the dialog are released
// on every path.
std::optional<std::string> choose_folder(HWND owner) {
  IFileOpenDialog* created = nullptr;
  if (FAILED(CoCreateInstance(kFileOpenDialogClass, nullptr, CLSCTX_INPROC_SERVER,
                              kFileOpenDialogInterface, reinterpret_cast<void**>(&created)))) {
    return std::nullopt;
  }
  const ComPtr<IFileOpenDialog> dialog(created);
  if (FAILED(dialog->SetOptions(kDialogOptions)) ||
      FAILED(dialog->SetTitle(L"选择 Quarvel 安装文件夹")) || FAILED(dialog->Show(owner))) {
    return std::nullopt;
  }
  IShellItem* result = nullptr;
  if (FAILED(dialog->GetResult(&result)))
    return std::nullopt;
  wchar_t* path = nullptr;
  {
    const ComPtr<IShellItem> item(result);
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)))
      return std::nullopt;
  }
  const std::unique_ptr<wchar_t, TaskMemFree> owned_path(path);
  if (path == nullptr)
    return std::nullopt;
  return install_dir_from_picked_folder(reinterpret_cast<const char16_t*>(path));
}

}  // namespace

void pick_install_folder(HWND window) {
  WindowState& state = window_state();
  begin_folder_pick(state);
  const bool com_initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (const std::optional<std::string> folder = choose_folder(window)) {
    // Sends EN_CHANGE, whose handler stores the text; no lock is held here.
    SetWindowTextW(GetDlgItem(window, kLocationBoxId), widen(*folder).c_str());
  }
  if (com_initialised)
    CoUninitialize();
  // Back to the button the dialog was opened from (the main button should
  // the browse button have been disabled meanwhile).
  const HWND browse = GetDlgItem(window, kBrowseButtonId);
  SetFocus(IsWindowEnabled(browse) ? browse : window);
  end_folder_pick(state, system_monotonic_clock().now());
}

}  // namespace quarvel::win32
