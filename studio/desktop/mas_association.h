// Ties ".mas" files to the running studio for the current user, the freedesktop way: the file type,
// the desktop entry and the icon under $XDG_DATA_HOME, the studio as the type's default
// application in $XDG_CONFIG_HOME/mimeapps.list, then the desktop's databases refreshed.
#pragma once

#include <QString>
#include <QStringList>

#include "studio/desktop/desktop_files.h"

namespace kestrel::studio {

inline constexpr char kAssociatedMessage[] = "The .MAS file extension has been registered to Kestrel";
inline constexpr char kUnassociatedMessage[] = "The .MAS file extension has been unregistered";

struct AssociationPlaces {
  QString dataHome;    // $XDG_DATA_HOME, by default ~/.local/share
  QString configHome;  // $XDG_CONFIG_HOME, by default ~/.config
  // The folders of the environment; a relative path there is ignored, as the base directory rules say.
  static AssociationPlaces ForCurrentUser();
  QString MimeAppsList() const;
};

struct AssociationResult {
  WriteFailure failure;      // the write that stopped the command, if any
  QStringList refreshNotes;  // databases whose refresh tool failed (the files themselves are in place)
};

// Writes every file in order; the first failure stops it and what was written before stays.
AssociationResult AssociateMas(const AssociationPlaces& places, const QString& program);
// Removes what AssociateMas wrote: its files, the folders that held only them, and only the
// default-application line naming our entry. Files that are already gone are passed over. A
// database the refresh made is rebuilt where other packages or desktop entries remain, and
// otherwise removed with the folders that held only it.
AssociationResult RemoveMasAssociation(const AssociationPlaces& places);

// mimeapps.list text with `type` defaulting to `desktopId` in [Default Applications]; the rest of
// the text is kept as it is.
QString WithDefaultApplication(const QString& text, const QString& type, const QString& desktopId);
// The text without that line (other applications named for the type stay); a group left empty
// goes with it.
QString WithoutDefaultApplication(const QString& text, const QString& type, const QString& desktopId);

}  // namespace kestrel::studio
