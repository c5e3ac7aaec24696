// What the window tells a screen reader: the accessible children of its
// client area (names, roles, states, values, places), decided from the same
// snapshot and picture that painting uses, and the changes between two such
// lists that are announced. Pure functions, window thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "windows_ui/layout.h"
#include "windows_ui/paint_plan.h"

namespace quarvel {

// Roles; the values are the platform's ROLE_SYSTEM_ constants.
enum class AccessibleRole : int32_t {
  kListItem = 0x22,
  kPushButton = 0x2B,
  kStaticText = 0x29,
  kProgressBar = 0x30,
};

// State flags; the values are the platform's STATE_SYSTEM_ constants.
enum AccessibleState : uint32_t {
  kStateUnavailable = 0x01,
  kStateSelected = 0x02,
  kStateFocused = 0x04,
  kStateChecked = 0x10,
  kStateReadOnly = 0x40,
  kStateFocusable = 0x100000,
};

// The name a push button's default action is announced with.
inline constexpr char kPressAction[] = "按下";

// One child of the client area. Children that are real controls carry their
// control id and are described by the control's own accessible object.
struct AccessibleElement {
  AccessibleRole role = AccessibleRole::kStaticText;
  std::string name = {};
  std::string value = {};
  uint32_t state = 0;  // AccessibleState flags
  LogicalRect rect;
  int control_id = 0;                // 10 the location box, 11 the browse button; 0 painted
  bool presses_main_button = false;  // its default action is the main button's press

  bool operator==(const AccessibleElement&) const = default;
};

// The children in reading order (child id = index + 1): product name,
// version, headline, subline, the three stages (done: checked, current:
// selected, waiting: unavailable), the progress bar (value: the painted
// percent text), the status line, the location label, the location box, the
// browse button, the note and the main button (its painted label; unavailable
// exactly when a press does nothing: in preview and while installing;
// focusable, and focused while the main window has the keyboard focus).
std::vector<AccessibleElement> accessible_elements(const PaintSnapshot& snapshot);

// The child id of the painted element that has the keyboard focus; nullopt
// when none has (the focus is on a control or elsewhere).
std::optional<int> focused_child(const std::vector<AccessibleElement>& elements);

// Navigation directions; the values are the platform's NAVDIR_ constants.
enum class NavigationDirection : int32_t {
  kUp = 1,
  kDown = 2,
  kLeft = 3,
  kRight = 4,
  kNext = 5,
  kPrevious = 6,
  kFirstChild = 7,
  kLastChild = 8,
};

// Where accNavigate ends up.
struct Navigation {
  enum class Kind {
    kChild,        // the child `child_id`
    kNone,         // no element in that direction (S_FALSE)
    kFromWindow,   // the client object among its window's siblings: the standard object's
    kUnsupported,  // spatial moves among the children (DISP_E_MEMBERNOTFOUND)
    kInvalid,      // no such start or direction (E_INVALIDARG)
  };
  Kind kind = Kind::kInvalid;
  int child_id = 0;

  bool operator==(const Navigation&) const = default;
};

// accNavigate in `direction` (a NAVDIR_ value) from `start` (0: the client
// object itself, else a child id) among `child_count` children, in the order
// of the child list: first and last child of the client, next and previous
// of every child, nothing past either end.
Navigation navigate(int32_t direction, int32_t start, int child_count);

enum class AccessibleChangeKind { kName, kValue, kState };

struct AccessibleChange {
  AccessibleChangeKind kind;
  int child_id;  // index + 1

  bool operator==(const AccessibleChange&) const = default;
};

// What differs between two lists of the same window, element by element, in
// child order; empty when nothing does (or the lists do not match in length).
std::vector<AccessibleChange> accessible_changes(const std::vector<AccessibleElement>& before,
                                                 const std::vector<AccessibleElement>& after);

// The child id of the element whose scaled rectangle holds client pixel
// (x, y) at `dpi`; nullopt when none does.
std::optional<int> accessible_child_at(const std::vector<AccessibleElement>& elements,
                                       int32_t x,
                                       int32_t y,
                                       uint32_t dpi);

// The accessible name of the location box: its painted label "安装位置".
std::string location_box_name();

}  // namespace quarvel
