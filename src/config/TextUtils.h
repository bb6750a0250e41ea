// Small text helpers shared by the configuration reader, the channel parser, the service client
// and the session. Positions are 1-based UTF-16 code units; the edge rules are part of the
// contract, callers rely on them.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// S without its last Count characters; empty when Count is at least the length of S.
QString DropRight(const QString& S, int Count);
// Throws Exception carrying Msg.
[[noreturn]] void RaiseError(const QString& Msg);
// Every non-overlapping occurrence of OldText, scanned from the left, replaced by NewText; an
// empty OldText leaves S as it is.
QString ReplaceAll(const QString& S, const QString& OldText, const QString& NewText,
                   bool CaseSensitive);
// The text after the first StartMark up to the next EndMark; empty unless both marks occur in S;
// everything after StartMark when EndMark occurs only before it.
QString TextBetween(const QString& S, const QString& StartMark, const QString& EndMark);
// The last character as a one-character text; empty for an empty S.
QString LastChar(const QString& S);
// 1-based start of the last (possibly overlapping) occurrence of SubStr, 0 when there is none,
// the length of S for an empty SubStr. Case-sensitive.
int LastPos(const QString& SubStr, const QString& S);
// Splits S at Separator into List after dropping every "*"; a trailing separator gives a last,
// empty item. An empty S leaves List untouched.
void SplitToList(QStringList& List, const QString& S, QChar Separator);
// Case-sensitive; false for an empty SubStr.
bool HasSubStr(const QString& SubStr, const QString& S);
int MinOf(int A, int B);
