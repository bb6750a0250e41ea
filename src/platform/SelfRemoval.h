// Deleting a file once the process that holds it has ended: the uninstaller's last step
// removes its own executable this way.
#pragma once

#include <QString>

// Starts a detached script from the temporary directory that waits until no process runs
// the file, deletes it (retrying about once a second, for a bounded time) and then deletes
// itself. Nothing happens when the file does not exist. Raises EInOutError when the script
// cannot be written.
void DeleteFileAfterExit(const QString& path);

// DeleteFileAfterExit on the running executable.
void DeleteSelfAfterExit();
