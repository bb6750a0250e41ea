// The base addresses of the maker's distribution service and support site. A built installer
// carries them as resources of its own; without them the compiled-in defaults apply.
#pragma once

#include <QString>

// Resource "serviceurl" of the running executable, else the compiled-in default. No trailing "/".
QString ServiceBaseUrl();
// Resource "supporturl", else the compiled-in default. No trailing "/".
QString SupportBaseUrl();

QString DefaultServiceBaseUrl();
QString DefaultSupportBaseUrl();
