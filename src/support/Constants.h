// The constants the installer holds enciphered (stored form of the string cipher, see
// Cipher.h). Their plain values never appear in the program; decipher them where they are used.
#pragma once

#include <QString>

// Product ids and file-name keywords for the name carried in the installer's file name.
inline const QString cnSoftIdA = QStringLiteral("0E000000A7E33EA52377F0FFE64BE41826EF6AFB");
inline const QString cnSoftIdB = QStringLiteral("0E000000188D78B8A25DEBAE56AA05FC65A26B59");
inline const QString cnSoftIdC = QStringLiteral("0E00000058B4E0D5A42A29F1C1DB217A1A5ABFBF");
inline const QString cnKeywordK1 = QStringLiteral("040000003A22944D75A536350E2ECB1C01B22454");
inline const QString cnKeywordK2 = QStringLiteral("0400000088B70E8F248629DBF76F5C64A7BCF96B");
// The command-line switch that starts the install automatically with the window shown.
inline const QString cnSwitchS = QStringLiteral("0E000000CA865BB3C662B088DE8060FA97225D70");
// The product whose set-up ends by starting program N with "asso".
inline const QString cnSoftIdP = QStringLiteral("0E000000188D78B8A25DEBAE56AA05FC65A26B59");
inline const QString cnProgNameN = QStringLiteral("0D00000023F07C8084FDFD518037E369E9D2C980");
// The package password and the language-resource key (six digits each).
inline const QString cnPackagePassword = QStringLiteral("060000007E3BD44FEB471501CC68456B55BA5115");
inline const QString cnLangResourceKey = QStringLiteral("0600000024A390D64CE34AF2D156E2498B14896C");

// The plain package password, deciphered at the moment of use.
QString PackagePassword();
// The plain language-resource key.
QString LangResourceKey();
