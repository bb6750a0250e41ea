// The running executable's own file: where its resources are read from and whose file name
// selects the mode and the channel. A test points it at another file.
#pragma once

#include <QString>

QString RunningExePath();

// An empty path returns to the process's own executable.
void SetRunningExePath(const QString& path);
