// Every system this build supports is newer than the oldest one the installer refuses.
#include "platform/SystemVersion.h"

bool IsWinVistaOrLater() {
    return true;
}
