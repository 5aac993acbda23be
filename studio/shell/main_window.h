// The studio's main window `TFKestrel`: tool bar, archive tree, preview views, status bar, and the
// open-archive state that every command works on.
//
// The window's work is split by subject over several files: layout (main_window.cpp), commands and
// their states (main_window_actions.cpp), opening archives (main_window_open.cpp), the browser and
// entry access (main_window_browser.cpp), and the previews (image_preview.cpp, mesh_preview.cpp).
#pragma once

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "studio/open_archive/archive_state.h"
#include "studio/shell/recent_files.h"
#include "studio/mesh/mesh_view_state.h"
#include "studio/qt_common/studio_settings.h"

class QAction;
class QLineEdit;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeView;

namespace kestrel::studio {

class ArchiveTreeModel;
class StudioDialogs;
struct FileDialogRequest;
enum class MessageIcon;
class TFKestrelAbout;
class TFKestrelConvert;
class TFKestrelOptions;
class TGLWindow;
class TImageView;

inline constexpr char kReadOnlyWarning[] =
    "This file appears to be on a read-only medium (like a CD-ROM) \r\nso importing is not possible and will be "
    "disabled.";
inline constexpr char kNotCurrentArchive[] = "This is not a valid CUBEMAS 4.10 MAS file.";
// What the user is told when an archive to open is not there, or recent files lost theirs.
QString MissingArchiveMessage(const QString& path);
QString GoneFromRecentFiles(const QStringList& paths);

// What a window is made with besides its dialogs; tests point each at their own place.
struct StudioEnvironment {
  QString startupArchive;  // the first command-line argument; empty for none
  QString settingsPath = SettingsStore::DefaultIniPath();
  QString scratchDirectory;  // empty: the usual place (ScratchDirectoryPath)
  // The read-only test; by default whether the file could be opened for writing.
  std::function<bool(const std::string&)> canWrite = CanOpenForWriting;
  // Whether the OpenGL view gets a drawing surface; empty: whether a context can be made.
  std::optional<bool> openGLAvailable;
};

class TFKestrel : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFKestrel(StudioDialogs& dialogs, StudioEnvironment environment = {}, QWidget* parent = nullptr);
  ~TFKestrel() override;

  OpenArchiveState& State() { return state_; }
  const OpenArchiveState& State() const { return state_; }
  StudioSettings& Settings() { return settings_; }
  const RecentFiles& Recent() const { return recent_; }
  const QString& ScratchDirectory() const { return scratch_directory_; }
  ArchiveTreeModel* TreeModel() const { return tree_model_; }

  // The one way an archive becomes open; also reloads an archive after an edit. The reload says
  // nothing more about a read-only medium (`warnReadOnly` false): the edit's own message has.
  void OpenArchive(const QString& path, bool warnReadOnly = true);
  bool ReadArchiveHeader(const QString& path, bool warnReadOnly = true);
  void ResetCommands();
  void UpdateTitle();

  void BuildArchiveTree();
  void ShowEntry(int index);
  void DumpTableOfContents(const QString& path);
  // The decoded bytes of entry `index`; their length is the entry's true length.
  std::optional<std::vector<uint8_t>> ReadEntryData(int index);
  bool ExtractEntryToFile(int index, const QString& path);
  int FindEntryByName(const QString& name) const;
  // Decodes image entry `index` into `bitmap`; false after any message the failure needs. A
  // picture the decoders refuse throws ImageDecodeError.
  bool ReadImageEntry(int index, QImage& bitmap);

  // Archive edits (main_window_editing.cpp). Each encodes the file's bytes as a new entry, rewrites
  // the open archive through the engine and reopens it with OpenArchive. A failure (compression, a
  // read-only archive, a full disk, a layout the rewrites cannot keep) is shown with the error icon,
  // the archive is reopened from disk so that state and file agree, and the result is false. The
  // tree keeps its open groups and entries. ReplaceEntry selects the same tree node again and keeps
  // SelectedEntry (a picture is shown anew); AppendEntry selects and shows the new entry, `name`
  // being its stored name as text; RemoveEntry leaves nothing selected and both views empty. After
  // a failure the selection is as before. The commands follow the selection in every case.
  bool ReplaceEntry(int index, const std::vector<uint8_t>& fileBytes);
  bool AppendEntry(const QString& name, int32_t fileType, const std::vector<uint8_t>& fileBytes);
  bool RemoveEntry(int index);

  // Writes the settings and recent files now, as the end of the program does (also at session
  // logout and on a termination signal, where no window is closed).
  void SaveSettings();
  // An archive handed over by a second start of the studio: opened, and the window brought up.
  void OpenHandedOver(const QString& path);
  // The archive manager's commands (main_window_manager.cpp): the filter, several entries at once,
  // extraction into a folder, closing and reloading.
  // Table positions of the selected entries (a selected detail line counts for its entry), in
  // table order; the current entry alone when nothing is selected.
  std::vector<int> SelectedEntries() const;
  void SelectVisibleEntries();
  // Writes the entries into a folder the user picks; false when nothing was written.
  bool ExtractEntriesToFolder(const std::vector<int>& entries);
  // Removes the entries in one rewrite and reopens the archive; RemoveEntry is this for one entry.
  bool RemoveEntries(const std::vector<int>& entries);
  void CloseArchive();

  // Runs a command; an error it does not handle goes to the application error dialog.
  void RunCommand(const QString& name, const std::function<void()>& command);

  // Event handlers, named after their control and event.
  void Open1Click();
  void Exit1Click();
  void RecentFileClick(const QString& path);
  void MASTreeNTChange();

  // The mesh preview's display state: camera, display options, the model on show.
  const MeshViewState& MeshView() const { return mesh_view_; }
  void glWindowMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
  void glWindowMouseMove(Qt::KeyboardModifiers modifiers, QPoint position);
  void glWindowMouseUp();

 protected:
  // Notes key presses in the tree: browsing by keyboard neither expands entries nor stops at boxes.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The previews, called by ShowEntry.
  virtual void ShowImageEntry(int index);
  virtual void ShowMTS(int index);

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateViewMenuAndKeys();  // main_window_keys.cpp
  void NameControlsForAssistiveTools();
  void CreateLayout();
  void ApplyDeveloperMode();
  void CreateDialogs();
  void RebuildRecentFilesMenu();
  void ProgramEnd();
  // The commands that apply to entry `index` when it is selected, before anything is shown of it.
  void SetCommandsForEntry(int index);
  // After an edit: selects, shows and scrolls to entry `index`, or selects nothing for -1.
  void ReselectAfterEdit(int index);
  // A problem with the entry being shown: a message box, or the status line while the user moves
  // through the tree by keyboard.
  void ShowProblem(MessageIcon icon, const QString& caption, const QString& text);
  void ConnectMeshPreview();
  void CreateArchiveManager();
  void CreateEntryContextMenu();
  void UpdateManagerCommands();
  void ShowEntryContextMenu(const QPoint& position, bool byMouse);
  void RedrawMeshNow();
  // Empties both views, as when no archive is open: no model, no picture, the mesh view on top.
  void ClearViews();
  // Lets go of the model on show, so that the mesh view draws its background only.
  void ReleaseMeshModel();
  // Records `index` as the mesh entry on show in the open archive.
  void NoteMeshEntryOnShow(int index);
  // The entry "Export Single VRML File" works on: the mesh on show, if it is of this archive.
  std::optional<int> MeshEntryOnShow() const;
  // True, after telling the user, when an export's target is the open archive itself.
  bool RefuseOpenArchiveAsTarget(const std::string& path);
  QAction* NewAction(const char* objectName, const QString& caption, const QString& hint, bool enabled);
  void Bind(QAction* action, void (TFKestrel::*handler)());

  // Commands that get their work in later steps of the studio.
  void Exportimagetofile1Click();
  void Importimagefromfile1Click();
  void Exportnonimagefile1Click();
  void Importnonimagefile1Click();
  void AddafiletothisMASfile1Click();
  void RemoveselecteditemfromthisMASfile1Click();
  void TBZoomInClick();
  void TBZoomOutClick();
  void TBZoomResetClick();
  void ApplyZoom();
  void ConvertMASClick();
  void SDTEditor1Click();
  void ExportSingleVRMLFile1Click();
  void RollallMTSObjectsinoneVRMLFile1Click();
  void ExportglTFFile1Click();
  void Blend1Click();
  void Wireframe1Click();
  void Textures1Click();
  void Options2Click();
  void About1Click();
  void ToolButton6Click();

  // Mod packages (main_window_mods.cpp): compare, apply, take back; enabled with an archive open.
  void CreateModCommands();
  void UpdateModCommands();
  void CompareWithArchive1Click();
  void ApplyModPackage1Click();
  void RevertModPackage1Click();

  StudioDialogs& dialogs_;
  StudioEnvironment environment_;
  SettingsStore settings_store_;
  StudioSettings settings_;
  RecentFiles recent_;
  OpenArchiveState state_;
  QString scratch_directory_;
  bool ended_ = false;
  bool browsing_by_keyboard_ = false;  // a key press in the tree is being handled
  int other_file_filter_ = 0;  // the filter of ODOtherFile chosen last time

 public:
  // Menus, commands and controls, named as the studio names them.
  QMenu* File1 = nullptr;
  QMenu* Edit1 = nullptr;
  QMenu* Tools1 = nullptr;
  QMenu* Help1 = nullptr;
  QMenu* VRML1 = nullptr;
  QMenu* Display1 = nullptr;
  QMenu* View1 = nullptr;
  QAction* Open1 = nullptr;
  QAction* ExportglTFFile1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* Exportimagetofile1 = nullptr;
  QAction* Importimagefromfile1 = nullptr;
  QAction* N7 = nullptr;
  QAction* Exportnonimagefile1 = nullptr;
  QAction* Importnonimagefile1 = nullptr;
  QAction* N8 = nullptr;
  QAction* AddafiletothisMASfile1 = nullptr;
  QAction* RemoveselecteditemfromthisMASfile1 = nullptr;
  QAction* ConvertMAS = nullptr;
  QAction* NMods = nullptr;
  QAction* CompareWithArchive1 = nullptr;
  QAction* ApplyModPackage1 = nullptr;
  QAction* RevertModPackage1 = nullptr;
  QAction* N2 = nullptr;
  QAction* SDTEditor1 = nullptr;
  QAction* N6 = nullptr;
  QAction* ExportSingleVRMLFile1 = nullptr;
  QAction* RollallMTSObjectsinoneVRMLFile1 = nullptr;
  QAction* Blend1 = nullptr;
  QAction* Wireframe1 = nullptr;
  QAction* Textures1 = nullptr;
  QAction* N3 = nullptr;
  QAction* Options2 = nullptr;
  QAction* About1 = nullptr;
  QAction* RecentSeparator = nullptr;
  QList<QAction*> RecentItems;
  QAction* TBZoomIn = nullptr;
  QAction* TBZoomOut = nullptr;
  QAction* TBZoomReset = nullptr;
  QAction* ToolButton7 = nullptr;
  QAction* ToolButton6 = nullptr;
  QAction* DumpMTSFile1 = nullptr;  // the menu item of ToolButton6
  QAction* FilterEntries1 = nullptr;
  QAction* SelectAllEntries1 = nullptr;
  QAction* ExtractSelected1 = nullptr;
  QAction* ExtractAll1 = nullptr;
  QAction* Reload1 = nullptr;
  QAction* Close1 = nullptr;
  QAction* CopyName1 = nullptr;
  QLineEdit* EntryFilter = nullptr;

  QToolBar* ToolBar1 = nullptr;
  QWidget* PTree = nullptr;
  QTreeView* MASTreeNT = nullptr;
  QSplitter* Splitter1 = nullptr;
  QWidget* PViewer = nullptr;
  TGLWindow* glWindow = nullptr;
  TImageView* MASImgView = nullptr;
  QStatusBar* StatusBar = nullptr;

  // The dialogs the menus show modally; made with the window, hidden until then.
  TFKestrelAbout* FKestrelAbout = nullptr;
  TFKestrelOptions* FKestrelOptions = nullptr;
  TFKestrelConvert* FKestrelConvert = nullptr;

 private:
  ArchiveTreeModel* tree_model_ = nullptr;

  // The mesh preview's state and what its commands remember.
  MeshViewState mesh_view_;
  bool mesh_build_pending_ = false;  // a mesh was selected before the view had its context
  std::string mesh_entry_archive_;   // archive and name of the entry CurrentMeshEntry counts in
  std::string mesh_entry_name_;
  QString other_file_last_;          // where SDOtherFile was last pointed
  // SDOtherFile shown with `request`; keeps where it was left for the next use.
  std::optional<QString> SaveOtherFile(const FileDialogRequest& request);
  std::string filtered_archive_;     // the archive the filter was typed for
  QString extract_folder_last_;      // where the last extraction went
};

}  // namespace kestrel::studio
