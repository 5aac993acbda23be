// What a screen reader finds in a window: every control below it that it could not name.
#pragma once

#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>
#include <string>
#include <vector>

namespace kestrel::studio::testing {

// The controls under `window` (itself excluded) whose accessible name is empty, each as
// "ObjectName (Class)". Controls are the widgets that take the keyboard focus or that show a value
// or a picture: buttons, fields, lists, progress bars, labels. Hidden widgets count too, since they
// may be shown later; pure containers (layout helpers, frames, group panes) are passed over.
inline std::vector<std::string> ControlsWithoutAccessibleName(QWidget* window) {
  std::vector<std::string> unnamed;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (!accessible) continue;
    const QAccessible::Role role = accessible->role();
    const bool container = role == QAccessible::Client || role == QAccessible::Pane || role == QAccessible::Grouping ||
                           role == QAccessible::Window || role == QAccessible::Dialog ||
                           role == QAccessible::StatusBar || role == QAccessible::Separator ||
                           role == QAccessible::ScrollBar || role == QAccessible::Border || role == QAccessible::Splitter;
    const bool focusable = widget->focusPolicy() != Qt::NoFocus;
    if (container && !focusable) continue;
    // The header and viewport of a list are parts of the list, which is checked itself.
    if (role == QAccessible::ColumnHeader || role == QAccessible::Row || role == QAccessible::Cell) continue;
    if (accessible->text(QAccessible::Name).trimmed().isEmpty())
      unnamed.push_back(widget->objectName().toStdString() + " (" + widget->metaObject()->className() + ")");
  }
  return unnamed;
}

}  // namespace kestrel::studio::testing
