// Times one package extraction: oneclick-bench-extract ZIP TARGET PASSWORD. Prints the wall
// time, the number of progress events, the last percent and the peak resident memory.
#include "BenchSupport.h"
#include "package/MyZip.h"

#include <QString>

#include <chrono>
#include <cstdio>

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
    std::printf("ok=%d seconds=%.3f events=%ld last=%d peak_kib=%ld\n", ok ? 1 : 0, seconds, events,
                last, PeakResidentKib());
    return ok ? 0 : 1;
}
