// Pieces the benchmark drivers share.
#pragma once

#include <fstream>
#include <string>

// The high-water mark of this program's own memory (VmHWM), in KiB; -1 when unknown.
inline long PeakResidentKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}
