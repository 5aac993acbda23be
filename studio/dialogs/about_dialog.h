// The About box `TFKestrelAbout`: author, date, version and thanks above an OK button.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrel::studio {

inline constexpr char kAboutDate[] = "July 18, 2003";
inline constexpr char kAboutVersion[] = "1.42";

class TFKestrelAbout : public QDialog {
 public:
  explicit TFKestrelAbout(QWidget* parent = nullptr);

  QLabel* LAuthor = nullptr;
  QLabel* LDate = nullptr;
  QLabel* LVersion = nullptr;
  QLabel* LThanks = nullptr;
  QPushButton* BOK = nullptr;
};

}  // namespace kestrel::studio
