// The window's own buttons: finish, close, folder choice, the custom-install toggle and the
// minimize link.
#include "session/UntMain.h"

void TFrmCommInst::btnInstallExitClick(QObject* /*Sender*/) {}

void TFrmCommInst::imgbtnCloseClick(QObject* /*Sender*/) {}

void TFrmCommInst::btnChangeInstallClick(QObject* /*Sender*/) {}

void TFrmCommInst::lblMinimizeClick(QObject* /*Sender*/) {}

void TFrmCommInst::imgOptionsMouseDown(QObject* /*Sender*/, Qt::MouseButton /*Button*/,
                                       Qt::KeyboardModifiers /*Shift*/, int /*X*/, int /*Y*/) {}
