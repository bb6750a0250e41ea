// Entry names and link targets of a package, checked and normalised without touching the disk
// (except through the caller's IsLink).
#include "package/ZipPaths.h"

#include <vector>

namespace {
bool isDrivePrefix(std::string_view name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string joinPath(const std::vector<std::string_view>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            path += '/';
        path += parts[i];
    }
    return path;
}
} // namespace

std::optional<TZipEntryPath> ZipEntryPath(std::string_view Name) {
    std::string name(Name);
    for (char& c : name)
        if (c == '\\')
            c = '/';
    if (name.empty() || name.front() == '/' || isDrivePrefix(name))
        return std::nullopt;
    TZipEntryPath result;
    result.IsDirectory = name.back() == '/';
    for (std::string_view part : splitPath(name)) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return std::nullopt;
        if (!result.Path.empty())
            result.Path += '/';
        result.Path += part;
    }
    if (result.Path.empty())
        return std::nullopt;
    return result;
}

bool ZipLinkStaysInside(std::string_view LinkPath, std::string_view Target,
                        const std::function<bool(const std::string& Path)>& IsLink) {
    std::string target(Target);
    for (char& c : target)
        if (c == '\\')
            c = '/';
    if (target.empty() || target.front() == '/' || isDrivePrefix(target) ||
        target.find('\0') != std::string::npos)
        return false;

    // Walk from the link's folder; the folder's own components are real directories (the
    // extraction never passes through links), so only components the target adds are checked.
    std::vector<std::string_view> resolved = splitPath(LinkPath);
    resolved.pop_back();
    const std::vector<std::string_view> steps = splitPath(target);
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string_view step = steps[i];
        if (step.empty() || step == ".")
            continue;
        if (step == "..") {
            if (resolved.empty())
                return false;
            resolved.pop_back();
            continue;
        }
        resolved.push_back(step);
        // The last component may itself be a link: it is checked on its own.
        const bool last = i + 1 == steps.size();
        if (!last && IsLink(joinPath(resolved, resolved.size())))
            return false;
    }
    return true;
}
