// The few dialogs of the session beyond the branded notice and question (ui/MsgBoxes.h): the
// reinstall prompt, the system notice box and the display of an error that escaped a handler.
#pragma once

#include <QString>

// The reinstall prompt: mrOk for "打开软件", anything else for reinstall or the close button.
int SessionCheckIfInstalled(const QString& Msg);
// The system notice box with the application title as caption and one OK button.
void SessionStandardBox(const QString& Text);
// The toolkit's display of an error that escaped a handler.
void SessionShowError(const QString& Text);
