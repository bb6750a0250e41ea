// The libFuzzer program of one target (FUZZ_TARGET_BODY): a private environment and an
// application object once at start-up, then the target's body for every input.
#include "targets/FuzzTargets.h"

#include <QApplication>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzIsolateEnvironment();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The translation engine works on real widgets; the other targets need only the object.
    static int argc = 1;
    static char name[] = "oneclick-fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FUZZ_TARGET_BODY(Data, Size);
}
