// Publishing a product package: copied into the packages folder under a name of its own,
// hashed, and recorded as the product's current release for a channel (or for all channels).
#pragma once

#include "DistStore.h"

#include <string>

struct TPublishOptions {
    std::string SoftId;
    std::string Version;
    std::string PackagePath;
    std::string Channel;     // empty: the default release
    std::string PackagesDir; // empty: the folder recorded in the database
};

// The packages folder: Given (created when missing, then recorded in the database as an
// absolute path), else the one recorded earlier. Throws when there is neither.
std::string ResolvePackagesDir(TDistStore& Store, const std::string& Given);

// Throws EDistError when the package is missing or no zip archive, or the copy fails; nothing
// is recorded then.
TRelease Publish(TDistStore& Store, const TPublishOptions& Options);
