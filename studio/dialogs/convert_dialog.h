// The dialog `TFKestrelConvert` that converts an F1-2001 archive into the current layout with the
// engine's ConvertOldArchive, a progress bar over both of its passes and every report in an error
// dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "studio/qt_common/studio_dialogs.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrel::studio {

class FileNameField;

inline constexpr char kConvertCaption[] = "Convert F1-2001 MAS to F1-2002 MAS";

class TFKestrelConvert : public QDialog {
 public:
  explicit TFKestrelConvert(StudioDialogs& dialogs, QWidget* parent = nullptr);

  // Where the browse buttons start while their field is empty.
  void SetBrowseDirectory(const QString& directory);

  bool SourceValid() const { return source_valid_; }
  bool DestinationGiven() const { return destination_given_; }
  bool Running() const { return running_; }
  // The archives the conversions since the dialog was shown wrote (absolute paths); a conversion
  // that did not write its new archive left its destination as it was and is not among them.
  const std::vector<std::string>& Destinations() const { return destinations_; }

  // Event handlers, named after their control and event.
  void FormShow();
  // A change of the source's text: a name that is an F1-2001 archive is taken at once.
  void FESourceChange();
  // The source was chosen in the file dialog, or typing ended: any other file is refused now.
  void FESourceConfirm();
  void FEDestinationChange();
  void BStartClick();

  QLabel* LSource = nullptr;
  FileNameField* FESource = nullptr;
  QLabel* LDestination = nullptr;
  FileNameField* FEDestination = nullptr;
  QPushButton* BStart = nullptr;
  QPushButton* BClose = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void done(int result) override;

 private:
  void ApplyStartRule();
  void JudgeSource(bool refuse);
  void Report(MessageIcon icon, const std::string& message);

  StudioDialogs& dialogs_;
  bool source_valid_ = false;
  bool destination_given_ = false;
  bool running_ = false;
  bool closing_ = false;  // the field losing the focus as the dialog goes is no end of typing
  std::vector<std::string> destinations_;
};

}  // namespace kestrel::studio
