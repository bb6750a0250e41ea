// Times one package extraction: oneclick-bench-extract ZIP TARGET PASSWORD. Prints the wall
// time, the number of progress events, the last percent and the process's peak memory.
#include "platform/MyZip.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ZIP TARGET PASSWORD\n", argv[0]);
        return 2;
    }
    long events = 0;
    int last = -1;
    const auto start = std::chrono::steady_clock::now();
    const bool ok =
        UnzipWithPassword(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                          QString::fromLocal8Bit(argv[3]), [&](int percent) {
                              ++events;
                              last = percent;
                          });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("ok=%d seconds=%.3f events=%ld last=%d maxrss_kib=%ld\n", ok ? 1 : 0, seconds,
                events, last, usage.ru_maxrss);
    return ok ? 0 : 1;
}
