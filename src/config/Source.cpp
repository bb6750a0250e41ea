// Channel and keyword id from the file name, and their place in the per-product key.
#include "config/Source.h"

#include "config/RegistryStrings.h"
#include "config/TextUtils.h"
#include "base/RunningExe.h"

#include <QFileInfo>

QString ProductKeyPath(const QString& SoftId) {
    return QStringLiteral("SOFTWARE\\") + SoftId;
}

QString RunningExeName() {
    return QFileInfo(RunningExePath()).fileName();
}

void GetSourceFromExeName(QString& Source, QString& KeywordID) {
    const QString name = RunningExeName();
    Source.clear();
    KeywordID.clear();
    if (!HasSubStr(QStringLiteral("_"), name)) {
        Source = kNoSource;
        return;
    }
    if (HasSubStr(QStringLiteral("-k"), name))
        KeywordID = TextBetween(name, QStringLiteral("-k"), QStringLiteral("_"));

    QString rest = name.mid(LastPos(QStringLiteral("_"), name));
    if (rest.right(4).compare(QStringLiteral(".exe"), Qt::CaseInsensitive) == 0)
        rest = DropRight(rest, 4);
    // Copies saved by a browser get these appended; they are not part of the channel.
    static const char* const copyMarkers[] = {"(1)", "(2)", "(3)", "(4)", "(5)",
                                              "[1]", "[2]", "[3]", "[4]", "[5]"};
    for (const char* marker : copyMarkers)
        rest = ReplaceAll(rest, QString::fromLatin1(marker), QString(), false);

    Source = IsValidSourceText(rest) ? rest : kNoSource;
}

bool IsValidSourceText(const QString& S) {
    for (const QChar c : S)
        if (c.unicode() < 0x2D || c.unicode() > 0x80)
            return false;
    return true;
}

void SaveSourceToRegistry(const QString& SoftId, const QString& Source, const QString& KeywordID) {
    RegWriteString(HKEY_CURRENT_USER, ProductKeyPath(SoftId), QStringLiteral("source"), Source);
    if (!KeywordID.isEmpty())
        RegWriteString(HKEY_CURRENT_USER, ProductKeyPath(SoftId), QStringLiteral("kid"), KeywordID);
}

QString LoadSourceFromRegistry(const QString& SoftId) {
    return RegReadString(HKEY_CURRENT_USER, ProductKeyPath(SoftId), QStringLiteral("source"));
}
