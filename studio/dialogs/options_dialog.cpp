#include "studio/dialogs/options_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"
#include "studio/qt_common/studio_settings.h"

namespace kestrel::studio {

namespace {

void CentreOnScreen(QWidget* window) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), window->size());
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
  }
}

}  // namespace

TFKestrelOptions::TFKestrelOptions(StudioDialogs& dialogs, StudioSettings& settings, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), settings_(settings) {
  setObjectName(QStringLiteral("FKestrelOptions"));
  setWindowTitle(tr("Options"));
  setModal(true);

  GBFileAssociation = new QGroupBox(tr(".MAS File Association "), this);
  GBFileAssociation->setObjectName(QStringLiteral("GBFileAssociation"));
  BAssociate = new QPushButton(tr("&Associate .MAS with Kestrel"), GBFileAssociation);
  BAssociate->setObjectName(QStringLiteral("BAssociate"));
  BUnAssociate = new QPushButton(tr("&Remove .MAS association"), GBFileAssociation);
  BUnAssociate->setObjectName(QStringLiteral("BUnAssociate"));
  auto* group = new QVBoxLayout(GBFileAssociation);
  group->addWidget(BAssociate);
  group->addWidget(BUnAssociate);

  CBShowMTSPreview = new QCheckBox(tr("&Show MTS preview (OpenGL)"), this);
  CBShowMTSPreview->setObjectName(QStringLiteral("CBShowMTSPreview"));
  BOK = new QPushButton(tr("OK"), this);
  BOK->setObjectName(QStringLiteral("BOK"));
  BOK->setDefault(true);
  // The association buttons act on Space or their Alt letter; Enter always means OK.
  BAssociate->setAutoDefault(false);
  BUnAssociate->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BOK);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GBFileAssociation);
  layout->addWidget(CBShowMTSPreview);
  layout->addStretch(1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(BAssociate, &QPushButton::clicked, this, [this] { BAssociateClick(); });
  connect(BUnAssociate, &QPushButton::clicked, this, [this] { BUnAssociateClick(); });
  connect(BOK, &QPushButton::clicked, this, &QDialog::accept);
  // OK, Escape and the close box all end in finished(): the setting follows the box each time.
  connect(this, &QDialog::finished, this, [this] { settings_.ShowMTSPreview = CBShowMTSPreview->isChecked(); });
  adjustSize();
  CentreOnScreen(this);
}

void TFKestrelOptions::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TFKestrelOptions::FormShow() {
  CBShowMTSPreview->setChecked(settings_.ShowMTSPreview);
  BOK->setFocus();
}

void TFKestrelOptions::ReportRefreshNotes(const AssociationResult& result) {
  if (result.refreshNotes.isEmpty()) return;
  dialogs_.ShowMessage(MessageIcon::Warning, QString::fromLatin1(kStudioName),
                       tr("The files are in place, but the desktop's databases could not be refreshed; the "
                          "change takes effect once they are:\r\n") +
                           result.refreshNotes.join(QStringLiteral("\r\n")));
}

void TFKestrelOptions::BAssociateClick() {
  const QString program = programPath.isEmpty() ? QCoreApplication::applicationFilePath() : programPath;
  const AssociationResult result = AssociateMas(AssociationPlaces::ForCurrentUser(), program);
  if (result.failure) {
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         tr("The .MAS file extension could not be registered: %1 could not be written.\r\n%2")
                             .arg(QDir::toNativeSeparators(result.failure.file), result.failure.reason));
    return;
  }
  ReportRefreshNotes(result);
  dialogs_.ShowMessage(MessageIcon::Information, QString::fromLatin1(kStudioName),
                       QString::fromLatin1(kAssociatedMessage));
}

void TFKestrelOptions::BUnAssociateClick() {
  const AssociationResult result = RemoveMasAssociation(AssociationPlaces::ForCurrentUser());
  if (result.failure)
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         tr("%1 could not be rewritten without the .MAS association.\r\n%2")
                             .arg(QDir::toNativeSeparators(result.failure.file), result.failure.reason));
  ReportRefreshNotes(result);
  dialogs_.ShowMessage(MessageIcon::Information, QString::fromLatin1(kStudioName),
                       QString::fromLatin1(kUnassociatedMessage));
}

}  // namespace kestrel::studio
