// The studio's application object: its title, and the last stop for errors no command caught.
#pragma once

#include <QApplication>
#include <QString>

namespace kestrel::studio {

class StudioDialogs;

inline constexpr char kStudioName[] = "Kestrel";

// The application title: "Kestrel", or "Kestrel - [ NAME.MAS ]" while an archive is open.
// Kept apart from Qt's display name, which Qt would append to every window caption.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

class KestrelApplication : public QApplication {
 public:
  KestrelApplication(int& argc, char** argv);
  // Errors that escape an event handler end up in the application error dialog; the studio goes on.
  bool notify(QObject* receiver, QEvent* event) override;
  void SetErrorDialogs(StudioDialogs* dialogs) { dialogs_ = dialogs; }

 private:
  StudioDialogs* dialogs_ = nullptr;
};

}  // namespace kestrel::studio
