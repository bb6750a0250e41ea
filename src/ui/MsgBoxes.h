// The program's questions and notices: the branded dialogs for most of them, the system message
// box for the few places that use it. Each blocks in its own modal loop until answered.
#pragma once

#include <QString>

class QWidget;

// The branded notice with one button.
void ShowMsgBox(const QString& msg);
// The branded question; true only for "是" (not for "否", the cross or Escape).
bool ShowConfirmBox(const QString& msg, bool btnYesDefault);
// The system message box with Yes and No and the question icon; true only for Yes.
bool AskYesNo(QWidget* Owner, const QString& Caption, const QString& Text);
// The system message box with the code in decimal, titled with the application title.
void ShowErrorCode(int code);
// Makes ShowErrorCode the registry integration's way of showing a failing call's error number.
// The program entry calls it once the application object exists.
void InstallShowErrorCodeHandler();
