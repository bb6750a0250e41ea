// Package extraction of arbitrary archives: the bytes become a package file and are unpacked
// into a private target folder, removed after the run. The first byte picks the password, so
// the seeds' encrypted entries can be opened.
#include "FuzzTargets.h"

#include "package/MyZip.h"
#include "support/Constants.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {
// Nothing may appear beside the target folder, and no link in it may lead out of it.
void checkConfined(const QString& Scratch, const QString& Target) {
    const QStringList beside = QDir(Scratch).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System);
    for (const QString& name : beside)
        if (name != u"package.zip" && name != u"target")
            FuzzFail("extraction wrote beside the target folder");
    if (QDir(Scratch + QStringLiteral("/target"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
            .size() > 1)
        FuzzFail("extraction wrote beside the target folder");
    QDirIterator it(Target, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!info.isSymLink())
            continue;
        const QString link = info.symLinkTarget(); // absolute, resolved against the link's folder
        if (!QDir::cleanPath(link).startsWith(Target + u'/'))
            FuzzFail("an extracted link leads outside the target folder");
    }
}
} // namespace

char FuzzPasswordSlotFor(const QString& ArchiveName) {
    if (ArchiveName.contains(QStringLiteral("noentropy")))
        return 4;
    if (ArchiveName.startsWith(QStringLiteral("encrypt-aes")))
        return 3;
    if (ArchiveName.startsWith(QStringLiteral("encrypt-1234")) ||
        ArchiveName.startsWith(QStringLiteral("hmac-error")))
        return 1;
    if (ArchiveName.startsWith(QStringLiteral("empty-pkware")))
        return 5;
    if (ArchiveName.startsWith(QStringLiteral("encrypt")))
        return 2;
    return 0;
}

int FuzzPackageExtraction(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    static const QString passwords[] = {
        PackagePassword(),           QStringLiteral("1234"),       QStringLiteral("foo"),
        QStringLiteral("foofoofoo"), QStringLiteral("no-entropy"), QStringLiteral("1")};
    const QString& password = passwords[Data[0] % std::size(passwords)];
    const TFuzzScratch scratch;
    const QString zip = scratch.WriteFile(QStringLiteral("package.zip"), Data + 1, Size - 1);
    const QString target = scratch.Path() + QStringLiteral("/target/dir");
    int last = 0;
    (void)UnzipWithPassword(zip, target, password, [&last](int Percent) {
        if (Percent < last || Percent > 100)
            FuzzFail("the extraction's percent went backwards or past 100");
        last = Percent;
    });
    checkConfined(scratch.Path(), target);
    return 0;
}
