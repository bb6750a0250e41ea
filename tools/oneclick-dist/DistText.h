// Text handling for the service: reading a raw query the way installers send it, the checks
// that keep broken or hostile text out of the database, and escaping for the HTML pages.
#pragma once

#include "DistStore.h"

#include <string>
#include <string_view>

// Splits a raw query at "&" and "=" and percent-decodes names and values ("+" stays "+": the
// installer encodes a plus sign itself). False when an escape is broken or a name or value is
// not clean text (below). Empty pieces ("a=1&&b=2") are skipped.
bool ParseQuery(std::string_view Raw, TParams& Params);

// The first value of that name, or nothing.
std::optional<std::string> FindParam(const TParams& Params, std::string_view Name);

// Well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF) without
// control characters.
bool IsCleanText(std::string_view Text);

std::string HtmlEscape(std::string_view Text);
