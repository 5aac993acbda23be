// The Options dialog `TFKestrelOptions`: the ".mas" association and the setting "ShowMTSPreview",
// which mirrors the check box however the dialog closes.
#pragma once

#include <QDialog>
#include <QString>

#include "studio/desktop/mas_association.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace kestrel::studio {

class StudioDialogs;
struct StudioSettings;

class TFKestrelOptions : public QDialog {
 public:
  TFKestrelOptions(StudioDialogs& dialogs, StudioSettings& settings, QWidget* parent = nullptr);

  // The program the association names; empty: the running program.
  QString programPath;

  void FormShow();
  void BAssociateClick();
  void BUnAssociateClick();

  QGroupBox* GBFileAssociation = nullptr;
  QPushButton* BAssociate = nullptr;
  QPushButton* BUnAssociate = nullptr;
  QCheckBox* CBShowMTSPreview = nullptr;
  QPushButton* BOK = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ReportRefreshNotes(const AssociationResult& result);

  StudioDialogs& dialogs_;
  StudioSettings& settings_;
};

}  // namespace kestrel::studio
