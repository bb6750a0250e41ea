// The system version test that decides whether the installer may run at all.
#pragma once

// True on every system this build runs on (it counts as Vista or later).
bool IsWinVistaOrLater();
