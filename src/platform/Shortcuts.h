// The product's shortcuts on the desktop and in a group of the Programs menu, and the notice to
// the desktop shell that associations or menus changed. Paths may use '\' as a separator.
#pragma once

#include <QString>
#include <functional>

// A shortcut to Target named Name (the target's file name without its extension when empty).
// False, writing nothing, when Target is not an existing file; LinkPath gets the shortcut file.
bool CreateDesktopShortcut(const QString& Target, const QString& Arguments, const QString& Name,
                           QString& LinkPath);
// Always true; the target need not exist.
bool RemoveDesktopShortcut(const QString& Target, const QString& Name);
// A shortcut in the menu group Group (created when missing); replaces one of the same name.
bool CreateProgramsShortcut(const QString& Target, const QString& Group, const QString& Name);
// Always true. The group folder stays.
bool RemoveProgramsShortcut(const QString& Target, const QString& Group, const QString& Name);

// Asks the desktop to reload its menus and associations; never waits, never fails.
void NotifyShellChanged();
// Replaces what NotifyShellChanged does (an empty handler restores the desktop refresh), so a
// caller can count or suppress the notices.
void SetNotifyShellChangedHandler(std::function<void()> Handler);

// Where the shortcuts go: the user's desktop folder and the Programs menu folder.
QString DesktopFolder();
QString ProgramsFolder();
