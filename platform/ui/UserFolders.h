#pragma once

// The user's own folders outside the app, where the pickers look: the
// documents folder the document picker browses and the pictures folder the
// photo library shows. On Linux they are the XDG user directories: the
// variable in the environment (XDG_DOCUMENTS_DIR, XDG_PICTURES_DIR) when set,
// else the line of "$XDG_CONFIG_HOME/user-dirs.dirs" (~/.config by default)
// that names it, else the fallback below.

#include <optional>
#include <string>

namespace UserFolders {

// The XDG documents folder, else $HOME; nullopt when neither is known.
std::optional<std::string> documentsFolder();
// The XDG pictures folder, else ~/Pictures, when that folder exists;
// nullopt when it does not (the photo library is unavailable then).
std::optional<std::string> picturesFolder();

// The folder an XDG user directory key ("XDG_DOCUMENTS_DIR") names, from the
// environment or the user-dirs file, with "$HOME" expanded; nullopt when
// neither names one (or the line names a relative path).
std::optional<std::string> xdgUserDirectory(const std::string& key);

}  // namespace UserFolders
