#include "studio/qt_common/button_keys.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

namespace kestrel::studio {
namespace {

class ReturnPresses : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || modifiers != Qt::NoModifier) return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->isEnabled()) return false;
    button->click();
    return true;
  }
};

}  // namespace

void PressFocusedButtonOnReturn(QWidget* dialog) {
  auto* filter = new ReturnPresses(dialog);
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
    if (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button)) button->installEventFilter(filter);
}

}  // namespace kestrel::studio
