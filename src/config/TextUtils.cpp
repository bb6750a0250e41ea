// The text helpers. Qt's own replace and split differ at the edges (empty patterns, empty
// inputs), so the rules are written out here.
#include "config/TextUtils.h"

#include "base/Exception.h"

QString DropRight(const QString& S, int Count) {
    if (Count <= 0)
        return S;
    if (Count >= S.size())
        return {};
    return S.left(S.size() - Count);
}

void RaiseError(const QString& Msg) {
    throw Exception(Msg);
}

QString ReplaceAll(const QString& S, const QString& OldText, const QString& NewText,
                   bool CaseSensitive) {
    if (OldText.isEmpty())
        return S;
    const Qt::CaseSensitivity cs = CaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    QString result;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = S.indexOf(OldText, from, cs);
        if (at < 0)
            break;
        result += QStringView(S).mid(from, at - from);
        result += NewText;
        from = at + OldText.size();
    }
    result += QStringView(S).mid(from);
    return result;
}

QString TextBetween(const QString& S, const QString& StartMark, const QString& EndMark) {
    if (!HasSubStr(StartMark, S) || !HasSubStr(EndMark, S))
        return {};
    const QString rest = S.mid(S.indexOf(StartMark) + StartMark.size());
    const qsizetype end = rest.indexOf(EndMark);
    return end < 0 ? rest : rest.left(end);
}

QString LastChar(const QString& S) {
    return S.isEmpty() ? QString() : S.right(1);
}

int LastPos(const QString& SubStr, const QString& S) {
    if (SubStr.isEmpty())
        return int(S.size());
    // lastIndexOf tries every start, so overlapping occurrences count.
    return int(S.lastIndexOf(SubStr, -1, Qt::CaseSensitive)) + 1;
}

void SplitToList(QStringList& List, const QString& S, QChar Separator) {
    if (S.isEmpty())
        return;
    List.clear();
    const QString text = ReplaceAll(S, QStringLiteral("*"), QString(), true);
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(Separator, from);
        if (at < 0)
            break;
        List.append(text.mid(from, at - from));
        from = at + 1;
    }
    List.append(text.mid(from));
}

bool HasSubStr(const QString& SubStr, const QString& S) {
    return !SubStr.isEmpty() && S.contains(SubStr, Qt::CaseSensitive);
}

int MinOf(int A, int B) {
    return A < B ? A : B;
}
