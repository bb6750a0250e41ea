// The rules that keep a package inside its target directory: which entry names are accepted
// and how they read, and which link targets may be created.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct TZipEntryPath {
    std::string Path; // relative, '/'-separated, no empty, "." or ".." components
    bool IsDirectory = false;
};

// The entry's place below the target, "\" read as "/"; nothing for names that are absolute,
// carry a drive prefix or a ".." component, or name the target itself.
std::optional<TZipEntryPath> ZipEntryPath(std::string_view Name);

// True when a link at LinkPath (an accepted entry path) with the text Target resolves inside
// the target directory. IsLink tells whether a path below the target is, or will be, a link:
// a target that passes through a link is refused, since the link could lead anywhere.
bool ZipLinkStaysInside(std::string_view LinkPath, std::string_view Target,
                        const std::function<bool(const std::string& Path)>& IsLink);
