// The uninstaller empties whatever directory it runs from and the configured data folder. This
// is the rule that keeps such a wholesale delete away from a person's or the system's own folders.
#pragma once

#include <QString>

// True when the contents of Directory must never be deleted wholesale: a path that is empty or
// not absolute, a file-system root (a mount point), the home folder, its XDG base folders
// (~/.config, ~/.local/share, ~/.cache, ~/.local) and user folders (Desktop, Documents,
// Downloads, Music, Pictures, Videos, Templates, Public, as configured and by their default
// names), the Programs menu folder, a system directory (/usr, /etc, /var, /tmp, ... both as
// they stand and under SystemPath()), or any folder that contains one of these. Symbolic links
// are resolved first, so a link to the home folder counts as the home folder.
bool IsProtectedDirectory(const QString& Directory);

enum class TSafeDeleteResult {
    Deleted,    // every entry it tried went
    Incomplete, // some entries stayed (files in use, no rights)
    Refused,    // a protected directory: nothing was deleted
};

// DeleteDirContents (FileUtils.h) for a directory that is not protected.
TSafeDeleteResult SafeDeleteDirContents(const QString& Directory, bool Recurse);
