#include "windows_ui/accessible_tree.h"

namespace quarvel {
namespace {

AccessibleElement static_text(const PictureText& text) {
  return {.role = AccessibleRole::kStaticText,
          .name = text.text,
          .state = kStateReadOnly,
          .rect = text.rect};
}

// Done, current or waiting: the stages before, at and after the picture's.
uint32_t stage_state(int index, int stage) {
  if (index < stage)
    return kStateChecked;
  return index == stage ? kStateSelected : kStateUnavailable;
}

// From the stage's circle to the end of its label.
LogicalRect stage_rect(const Picture& p, int index) {
  const LogicalRect& circle = p.stage_circles[index];
  const LogicalRect& label = p.stage_labels[index].rect;
  return {circle.x, circle.y, label.x + label.width - circle.x, label.height};
}

AccessibleElement control(int id, const LogicalRect& rect) {
  return {.rect = rect, .control_id = id};
}

}  // namespace

std::vector<AccessibleElement> accessible_elements(const PaintSnapshot& snapshot) {
  const Picture p = picture(snapshot);
  std::vector<AccessibleElement> elements = {static_text(p.product), static_text(p.version),
                                             static_text(p.headline), static_text(p.subline)};
  for (int i = 0; i < 3; ++i) {
    elements.push_back({.role = AccessibleRole::kListItem,
                        .name = p.stage_labels[i].text,
                        .state = stage_state(i, p.stage),
                        .rect = stage_rect(p, i)});
  }
  elements.push_back({.role = AccessibleRole::kProgressBar,
                      .value = p.percent.text,
                      .state = kStateReadOnly,
                      .rect = p.progress_track});
  elements.push_back(static_text(p.status));
  elements.push_back(static_text(p.location_label));
  elements.push_back(control(kLocationBoxId, kLocationBoxRect));
  elements.push_back(control(kBrowseButtonId, kBrowseButtonRect));
  elements.push_back(static_text(p.note));
  // Unavailable exactly where a press does nothing.
  elements.push_back({.role = AccessibleRole::kPushButton,
                      .name = p.button.text,
                      .state = kStateFocusable | (p.button_available ? 0u : kStateUnavailable) |
                               (p.button_focused ? kStateFocused : 0u),
                      .rect = p.button.rect,
                      .presses_main_button = true});
  return elements;
}

std::optional<int> focused_child(const std::vector<AccessibleElement>& elements) {
  for (size_t i = 0; i < elements.size(); ++i) {
    if ((elements[i].state & kStateFocused) != 0)
      return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

Navigation navigate(int32_t direction, int32_t start, int child_count) {
  using Kind = Navigation::Kind;
  using D = NavigationDirection;
  const auto to = [child_count](int id) {
    return id >= 1 && id <= child_count ? Navigation{Kind::kChild, id} : Navigation{Kind::kNone};
  };
  if (direction < static_cast<int32_t>(D::kUp) || direction > static_cast<int32_t>(D::kLastChild) ||
      start < 0 || start > child_count)
    return {Kind::kInvalid};
  const auto d = static_cast<D>(direction);
  if (start == 0) {
    if (d == D::kFirstChild)
      return to(1);
    if (d == D::kLastChild)
      return to(child_count);
    return {Kind::kFromWindow};
  }
  switch (d) {
    case D::kNext:
      return to(start + 1);
    case D::kPrevious:
      return to(start - 1);
    case D::kFirstChild:
    case D::kLastChild:
      return {Kind::kNone};  // a child is a simple element: it has no children
    default:
      return {Kind::kUnsupported};
  }
}

std::vector<AccessibleChange> accessible_changes(const std::vector<AccessibleElement>& before,
                                                 const std::vector<AccessibleElement>& after) {
  std::vector<AccessibleChange> changes;
  if (before.size() != after.size())
    return changes;
  for (size_t i = 0; i < after.size(); ++i) {
    const int child_id = static_cast<int>(i) + 1;
    if (before[i].name != after[i].name)
      changes.push_back({AccessibleChangeKind::kName, child_id});
    if (before[i].value != after[i].value)
      changes.push_back({AccessibleChangeKind::kValue, child_id});
    if (before[i].state != after[i].state)
      changes.push_back({AccessibleChangeKind::kState, child_id});
  }
  return changes;
}

std::optional<int> accessible_child_at(const std::vector<AccessibleElement>& elements,
                                       int32_t x,
                                       int32_t y,
                                       uint32_t dpi) {
  for (size_t i = 0; i < elements.size(); ++i) {
    const PixelRect r = scale_edges(elements[i].rect, dpi);
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
      return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

std::string location_box_name() {
  return picture(PaintSnapshot{}).location_label.text;
}

}  // namespace quarvel
