// Every place the program touches derives from HOME, the XDG variables and one prefix for
// machine-wide places (ONECLICK_SYSTEM_ROOT), so a test can point all of them at a temporary
// directory. Paths carry no trailing separator.
#pragma once

#include <QString>

QString HomeDir();       // $HOME, else the user's passwd entry
QString XdgConfigHome(); // $XDG_CONFIG_HOME, else ~/.config
QString XdgDataHome();   // $XDG_DATA_HOME, else ~/.local/share
QString XdgCacheHome();  // $XDG_CACHE_HOME, else ~/.cache
QString SystemRoot();    // $ONECLICK_SYSTEM_ROOT, else "/"

// A machine-wide absolute path such as "/var/lib/oneclick" under SystemRoot().
QString SystemPath(const QString& absolutePath);

bool IsRunningAsRoot();

// Creates the folder and its parents when missing; true when it exists afterwards.
bool EnsureDir(const QString& path);
