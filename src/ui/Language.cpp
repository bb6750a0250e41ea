// The language table.
#include "ui/Language.h"

#include <array>

const TLanguageInfo& LanguageInfo(TLanguage Lang) {
    static const std::array<TLanguageInfo, 10> Table = {{
        {QStringLiteral("Tahoma"), 9, QStringLiteral("EN")},
        {QStringLiteral("Tahoma"), 9, QStringLiteral("FR")},
        {QStringLiteral("Tahoma"), 9, QStringLiteral("GE")},
        {QStringLiteral("MS Mincho"), 9, QStringLiteral("JA")},
        {QStringLiteral("Tahoma"), 8, QStringLiteral("KO")},
        {QStringLiteral("Arial Narrow"), 9, QStringLiteral("RU")},
        {QStringLiteral("Tahoma"), 9, QStringLiteral("SP")},
        {QStringLiteral("Tahoma"), 9, QStringLiteral("TU")},
        {QStringLiteral("Tahoma"), 9, QStringLiteral("CH")},
        {QStringLiteral("新細明體"), 9, QStringLiteral("HK")},
    }};
    const int index = static_cast<int>(Lang);
    return Table[index >= 0 && index < static_cast<int>(Table.size()) ? index : 0];
}
