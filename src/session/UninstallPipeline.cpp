// The uninstall: removal steps around a progress animation, the farewell page and the
// uninstaller's self-removal.
#include "session/UntMain.h"

void TFrmCommInst::btnUninstallClick(QObject* /*Sender*/) {}

void TFrmCommInst::uninstallSoft() {}

void TFrmCommInst::btnUninExitClick(QObject* /*Sender*/) {}

void TFrmCommInst::silentUninstall() {}
