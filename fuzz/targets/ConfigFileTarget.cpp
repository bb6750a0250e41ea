// The configuration document: the JSON text carried by the installer, read in either mode. The
// first byte picks the mode and whether the text before the first NUL is the installer's own
// file name (so the channel comes from it).
#include "FuzzTargets.h"

#include "config/ConfigFile.h"
#include "config/Source.h"
#include "base/RunningExe.h"

int FuzzConfigFile(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    const bool installMode = (Data[0] & 1) != 0;
    QByteArray text = FuzzBytes(Data + 1, Size - 1);
    QString exeName = QStringLiteral("setup_fuzz.exe");
    if ((Data[0] & 2) != 0) {
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0) {
            exeName = QString::fromUtf8(text.left(nul));
            text.remove(0, nul + 1);
        }
    }
    SetRunningExePath(QStringLiteral("/nonexistent-fuzz-dir/") + exeName);
    try {
        const TConfigFile config(QString::fromUtf8(text), installMode);
        // What the install wrote under the per-product key is what the uninstaller reads back.
        if (installMode && LoadSourceFromRegistry(config.SoftId) != config.FromSource)
            FuzzFail("the stored channel does not read back");
        (void)config.isValidSourceFound();
        (void)config.getDynamicNameFromAPPName(config.Title);
    } catch (const Exception&) {
        // A refused document or a registry failure is the documented answer.
    }
    SetRunningExePath(QString());
    return 0;
}
