// Mod packages from the Tools menu: compare the open archive with another, apply a package to it
// after showing what the package does, and take back one of the packages applied to it.
//
// The work is the engine's; here are the questions, the lists and the messages. Apply and revert
// reopen the archive afterwards, also after a refusal or an error, so that the window shows the file.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <functional>

#include "archive/archive_diff.h"
#include "archive/archive_editing.h"
#include "archive/file_io.h"
#include "archive/mod_apply.h"
#include "archive/zbuffer.h"
#include "studio/dialogs/list_dialogs.h"
#include "studio/open_archive/archive_state.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"
#include "studio/shell/main_window.h"

namespace kestrel::studio {

namespace {

constexpr char kPackageFilter[] = "Mod Packages (*.MAS)|*.MAS|All Files|*.*";

QString Local(const std::string& text) { return QString::fromLocal8Bit(text); }

QString TitleOf(const std::string& title) {
  return title.empty() ? QObject::tr("(untitled)") : QStringLiteral("\"%1\"").arg(Local(title));
}

// What went wrong; a file error names its file.
QString Detail(const std::exception& error) {
  if (const auto* io = dynamic_cast<const EInOutError*>(&error)) return Local(FileErrorReport(*io));
  return Local(error.what());
}

// Runs one piece of engine work. A refusal is shown as `refused` above its lines, any other error
// of the engine as `failed` above its detail; each once. False after either.
bool RunModWork(StudioDialogs& dialogs, QWidget* parent, const QString& failed, const QString& refused,
                const std::function<void()>& work) {
  QString error;
  try {
    BusyCursor busy;
    work();
    return true;
  } catch (const EModRefusal& refusal) {
    QStringList lines;
    for (const std::string& line : refusal.Lines()) lines << Local(line);
    TextListDialog shown(QStringLiteral("ModPackageRefused"), QString::fromLatin1(kStudioName), refused, lines,
                         TextListDialog::Buttons::Ok, parent);
    dialogs.RunDialog(shown);
    return false;
  } catch (const EModPackageError& e) {
    error = Detail(e);
  } catch (const EArchiveEditError& e) {
    error = Detail(e);
  } catch (const EInOutError& e) {
    error = Detail(e);
  } catch (const EZLibError& e) {
    error = Detail(e);
  }
  dialogs.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName), failed + QStringLiteral("\r\n") + error);
  return false;
}

}  // namespace

void TFKestrel::CreateModCommands() {
  NMods = new QAction(this);
  NMods->setSeparator(true);
  NMods->setObjectName(QStringLiteral("NMods"));
  CompareWithArchive1 = NewAction("CompareWithArchive1", tr("Compare with &Archive…"),
                                  tr("List what another MAS file holds differently from this one"), false);
  ApplyModPackage1 =
      NewAction("ApplyModPackage1", tr("Apply &Mod Package…"), tr("Apply a mod package to this MAS file"), false);
  RevertModPackage1 = NewAction("RevertModPackage1", tr("&Revert Mod Package…"),
                                tr("Take back a mod package applied to this MAS file"), false);
  Bind(CompareWithArchive1, &TFKestrel::CompareWithArchive1Click);
  Bind(ApplyModPackage1, &TFKestrel::ApplyModPackage1Click);
  Bind(RevertModPackage1, &TFKestrel::RevertModPackage1Click);
  Tools1->insertActions(N2, {NMods, CompareWithArchive1, ApplyModPackage1, RevertModPackage1});
}

void TFKestrel::UpdateModCommands() {
  if (!CompareWithArchive1) return;  // ResetCommands may run before the menus are made
  CompareWithArchive1->setEnabled(state_.IsOpen());
  for (QAction* edit : {ApplyModPackage1, RevertModPackage1}) edit->setEnabled(state_.IsOpen() && !state_.ReadOnlyMedium);
}

void TFKestrel::CompareWithArchive1Click() {
  if (!state_.IsOpen()) return;
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODCompareMAS");
  request.title = tr("Compare with Archive");
  request.filter = QStringLiteral("MAS Files|*.MAS");
  request.startDirectory = settings_.MASInitialDir;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return;
  const std::string other = NativePath(*chosen);
  const QString ours = QFileInfo(FromNative(state_.ArchivePath)).fileName();
  const QString failed = tr("Unable to compare %1 with %2:").arg(ours, *chosen);
  // The other file must be an archive of this game; the engine's reader does not look at the magic.
  if (LoadArchiveTable(other).Result == ArchiveLoadResult::BadMagic) {
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         failed + QStringLiteral("\r\n") + QString::fromLatin1(kNotCurrentArchive));
    return;
  }
  std::vector<ArchiveDifference> differences;
  if (!RunModWork(dialogs_, this, failed, failed, [&] {
        differences = DiffArchives(ReadArchiveTable(state_.ArchivePath), ReadArchiveTable(other));
      }))
    return;
  const QString theirs = QFileInfo(*chosen).fileName();
  if (differences.empty()) {
    dialogs_.ShowMessage(MessageIcon::Information, QString::fromLatin1(kStudioName),
                         tr("No differences: %1 and %2 hold the same entries.").arg(ours, *chosen));
    return;
  }
  QStringList lines;
  for (const ArchiveDifference& d : differences) lines << Local(DifferenceLine(d));
  const QString count = differences.size() == 1 ? tr("1 entry differs")
                                                 : tr("%1 entries differ").arg(differences.size());
  const QString text = tr("%1 between %2 (open) and %3.\n\"added\" entries are only in %4, \"removed\" ones only "
                          "in %2.")
                           .arg(count, ours, *chosen, theirs);
  TextListDialog shown(QStringLiteral("CompareArchives"), tr("Compare with Archive"), text, lines,
                       TextListDialog::Buttons::Ok, this);
  dialogs_.RunDialog(shown);
}

void TFKestrel::ApplyModPackage1Click() {
  if (!state_.IsOpen() || state_.ReadOnlyMedium) return;
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODModPackage");
  request.title = tr("Apply Mod Package");
  request.filter = QString::fromLatin1(kPackageFilter);
  request.startDirectory = settings_.MASInitialDir;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return;
  const QString ours = QFileInfo(FromNative(state_.ArchivePath)).fileName();
  ModPackage package;
  if (!RunModWork(dialogs_, this, tr("Unable to read the mod package %1:").arg(*chosen), {},
                  [&] { package = ReadModPackage(NativePath(*chosen)); }))
    return;
  const ModPackageSummary summary = SummarizeModPackage(package);
  QStringList actions;
  for (const std::string& action : summary.Actions) actions << Local(action);
  const QString title = TitleOf(summary.Title);
  TextListDialog question(QStringLiteral("ApplyModPackage"), tr("Apply Mod Package"),
                          tr("Apply the mod package %1 (%2) to %3?\nIt makes these changes; Revert Mod Package "
                             "takes them back.")
                              .arg(title, *chosen, ours),
                          actions, TextListDialog::Buttons::YesNo, this);
  if (dialogs_.RunDialog(question) != QDialog::Accepted) return;
  RunModWork(dialogs_, this, tr("Unable to apply the mod package %1 to %2:").arg(*chosen, ours),
             tr("The mod package %1 (%2) was refused; %3 is unchanged:").arg(title, *chosen, ours),
             [&] { ApplyModPackage(state_.ArchivePath, package); });
  OpenArchive(FromNative(state_.ArchivePath));
  state_.SelectedEntry = -1;  // the entries are new: the next selection must show
  ResetCommands();
}

void TFKestrel::RevertModPackage1Click() {
  if (!state_.IsOpen() || state_.ReadOnlyMedium) return;
  const QString ours = QFileInfo(FromNative(state_.ArchivePath)).fileName();
  std::vector<ModPackageSummary> applied;
  if (!RunModWork(dialogs_, this, tr("Unable to read which mod packages are applied to %1:").arg(ours), {},
                  [&] { applied = ListAppliedModPackages(state_.ArchivePath); }))
    return;
  if (applied.empty()) {
    dialogs_.ShowMessage(MessageIcon::Information, QString::fromLatin1(kStudioName),
                         tr("No mod package is applied to %1.").arg(ours));
    return;
  }
  std::vector<ListChoiceDialog::Item> items;
  for (const ModPackageSummary& package : applied) {
    ListChoiceDialog::Item item{TitleOf(package.Title), {}};
    for (const std::string& action : package.Actions) item.details << Local(action);
    items.push_back(std::move(item));
  }
  ListChoiceDialog choice(QStringLiteral("RevertModPackage"), tr("Revert Mod Package"),
                          tr("The mod packages applied to %1, newest first. Choose the one to take back:").arg(ours),
                          items, tr("&Revert"), this);
  if (dialogs_.RunDialog(choice) != QDialog::Accepted || choice.Chosen() < 0) return;
  const ModPackageSummary& package = applied[static_cast<size_t>(choice.Chosen())];
  const QString title = TitleOf(package.Title);
  RunModWork(dialogs_, this, tr("Unable to take back the mod package %1 from %2:").arg(title, ours),
             tr("The mod package %1 was not taken back; %2 is unchanged:").arg(title, ours),
             [&] { RevertAppliedModPackage(state_.ArchivePath, package.PackageSha256); });
  OpenArchive(FromNative(state_.ArchivePath));
  state_.SelectedEntry = -1;
  ResetCommands();
}

}  // namespace kestrel::studio
