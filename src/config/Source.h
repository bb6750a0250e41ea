// The distribution channel ("source") and keyword id ("kid") of an install: taken from the
// installer's own file name and kept under the per-product key HKCU\SOFTWARE\<SoftId>, so the
// uninstaller reports the channel of the install.
#pragma once

#include <QString>

// The channel that marks a file name without a usable one.
inline const QString kNoSource = QStringLiteral("none");

// Parses the running executable's file name: "<prefix>_<channel>.exe", with an optional
// "-k<kid>_" somewhere in it and copy markers such as "(1)" or "[2]" dropped from the channel.
void GetSourceFromExeName(QString& Source, QString& KeywordID);
// True when every character lies in U+002D..U+0080 (and for the empty text).
bool IsValidSourceText(const QString& S);
// Writes "source" always and "kid" only when KeywordID is non-empty; registry errors are raised.
void SaveSourceToRegistry(const QString& SoftId, const QString& Source, const QString& KeywordID);
// The stored "source", empty when there is none; a non-string value raises.
QString LoadSourceFromRegistry(const QString& SoftId);

// The per-product key below HKEY_CURRENT_USER.
QString ProductKeyPath(const QString& SoftId);
// The file name of the running executable, without its folder.
QString RunningExeName();
