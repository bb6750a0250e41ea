// The ten form languages, with the font every form of a language uses and the name of the
// language resource the translation engine looks for.
#pragma once

#include <QString>

enum TLanguage {
    Lang_EN,
    Lang_FR,
    Lang_GE,
    Lang_JA,
    Lang_KO,
    Lang_RU,
    Lang_SP,
    Lang_TU,
    Lang_CH,
    Lang_HK
};

struct TLanguageInfo {
    QString FontName;
    int FontSize; // points
    QString ResName;
};

// A value outside the enumeration reads as Lang_EN.
const TLanguageInfo& LanguageInfo(TLanguage Lang);
