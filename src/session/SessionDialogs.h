// The few dialogs of the session beyond the branded notice and question (ui/MsgBoxes.h): the
// reinstall prompt, the system notice box and the display of an error that escaped a handler.
#pragma once

#include "registry/Registry.h"

#include <QString>
#include <exception>
#include <memory>

class QWidget;

// The reinstall prompt: mrOk for "打开软件", anything else for reinstall or the close button.
int SessionCheckIfInstalled(const QString& Msg);
// The system notice box with the application title as caption and one OK button.
void SessionStandardBox(const QString& Text);
// The toolkit's display of an error that escaped a handler.
void SessionShowError(const QString& Text);
// The same for an error object: its message, and for a registry store that could not be used,
// why (damaged, locked by another program, unreachable).
void SessionShowError(const std::exception& E);
QString SessionErrorText(const std::exception& E);
// True for the registry store's own failures: damaged, locked by another program, unreachable.
bool IsStoreFailure(LONG ErrorCode);

// Begins a transaction on Root's registry store. While another program keeps the store locked
// the user is asked whether to try again; false when they decline. Otherwise true, with
// Transaction begun, or empty when the store cannot be used at all (damaged, unreachable; then
// *Error says why).
bool SessionBeginStoreTransaction(QWidget* Owner, HKEY Root,
                                  std::unique_ptr<TRegTransaction>& Transaction,
                                  LONG* Error = nullptr);
// One line on a registry store that cannot be used: its file and why.
QString SessionStoreErrorText(HKEY Root, LONG ErrorCode);
