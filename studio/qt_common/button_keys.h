// Return and Enter press the button that has the focus, as Space does. For dialogs whose buttons
// are no default button, so that Enter typed in a field never starts a command by itself.
#pragma once

class QWidget;

namespace kestrel::studio {

// Applies to the push and tool buttons inside `dialog` when this is called.
void PressFocusedButtonOnReturn(QWidget* dialog);

}  // namespace kestrel::studio
