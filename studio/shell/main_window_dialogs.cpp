// The main window's dialogs: the conversion, Options and About, made once and shown modally.
#include <QFile>

#include "studio/dialogs/about_dialog.h"
#include "archive/file_io.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/dialogs/convert_dialog.h"
#include "studio/desktop/kestrel_icon.h"
#include "studio/shell/main_window.h"
#include "studio/dialogs/options_dialog.h"
#include "studio/qt_common/native_path.h"

namespace kestrel::studio {

void TFKestrel::CreateDialogs() {
  QIcon icon;
  for (const int size : kKestrelIconSizes) icon.addPixmap(QPixmap::fromImage(DrawKestrelIcon(size)));
  setWindowIcon(icon);
  FKestrelAbout = new TFKestrelAbout(this);
  FKestrelOptions = new TFKestrelOptions(dialogs_, settings_, this);
  FKestrelConvert = new TFKestrelConvert(dialogs_, this);
}

void TFKestrel::ConvertMASClick() {
  FKestrelConvert->SetBrowseDirectory(settings_.MASInitialDir);
  FKestrelConvert->exec();
  // A conversion may have written over the archive open here; what is in memory no longer
  // describes that file, so it is read again, or forgotten when the file is gone.
  if (!state_.IsOpen()) return;
  for (const std::string& destination : FKestrelConvert->Destinations()) {
    if (IsSameFile(destination, state_.ArchivePath)) {
      state_.SelectedEntry = 0;  // the entries are new: the next selection must show
      OpenArchive(FromNative(state_.ArchivePath));
      return;
    }
    if (destination == state_.ArchivePath && !FileExists(destination)) {
      state_.ClearArchive();
      tree_model_->Clear();
      UpdateTitle();
      ResetCommands();
      return;
    }
  }
}

void TFKestrel::Options2Click() { FKestrelOptions->exec(); }

void TFKestrel::About1Click() { FKestrelAbout->exec(); }

}  // namespace kestrel::studio
