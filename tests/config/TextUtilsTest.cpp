// The text helpers' edge rules, one table per helper family, since callers depend on exactly
// these edges (missing marks, empty patterns, trailing empty items).
#include "config/TextUtils.h"
#include "base/Exception.h"

#include <gtest/gtest.h>

namespace {

struct TTextCase {
    const char* Name;
    QString Actual;
    QString Expected;
};

struct TPosCase {
    const char* Name;
    int Actual;
    int Expected;
};

} // namespace

TEST(TextUtilsTest, TextResultsFollowTheEdgeRules) {
    const TTextCase cases[] = {
        {"replace copy markers, any case", ReplaceAll("Setup(1)(1).exe", "(1)", "", false),
         "Setup.exe"},
        {"replace folder marker, any case", ReplaceAll("%AppData%\\x", "%appdata%", "C:\\R", false),
         "C:\\R\\x"},
        {"replace folder marker, case kept", ReplaceAll("%AppData%\\x", "%appdata%", "C:\\R", true),
         "%AppData%\\x"},
        {"replace does not overlap", ReplaceAll("aaa", "aa", "b", true), "ba"},
        {"replacement is not rescanned", ReplaceAll("ab", "a", "aa", true), "aab"},
        {"empty old text changes nothing", ReplaceAll("abc", "", "x", false), "abc"},
        {"replace in empty text", ReplaceAll("", "a", "b", false), ""},
        {"replace non-ASCII any case", ReplaceAll("xÄy", "ä", "-", false), "x-y"},
        {"between, end mark follows", TextBetween("ab-k12_cd_e", "-k", "_"), "12"},
        {"between, end mark only before", TextBetween("a_b-k12.exe", "-k", "_"), "12.exe"},
        {"between, no marks", TextBetween("abc", "-k", "_"), ""},
        {"between, no end mark anywhere", TextBetween("a-kb", "-k", "_"), ""},
        {"between, no start mark", TextBetween("a_b", "-k", "_"), ""},
        {"between, start mark is case-sensitive", TextBetween("a-K1_b", "-k", "_"), ""},
        {"between, empty start mark", TextBetween("a_b", "", "_"), ""},
        {"between, nothing between", TextBetween("x-k_y", "-k", "_"), ""},
        {"drop right", DropRight("x.exe", 4), "x"},
        {"drop right beyond length", DropRight("abc", 5), ""},
        {"drop right exact length", DropRight("abc", 3), ""},
        {"drop right zero", DropRight("abc", 0), "abc"},
        {"drop right negative keeps text", DropRight("abc", -2), "abc"},
        {"last char", LastChar("C:\\dir\\"), "\\"},
        {"last char of one", LastChar("a"), "a"},
        {"last char of empty", LastChar(""), ""},
    };
    for (const TTextCase& c : cases)
        EXPECT_EQ(c.Actual, c.Expected) << c.Name;
}

TEST(TextUtilsTest, NumberAndTruthResultsFollowTheEdgeRules) {
    const TPosCase cases[] = {
        {"last underscore", LastPos("_", "a_b_c"), 4},
        {"absent", LastPos("_", "abc"), 0},
        {"first character", LastPos("a", "abc"), 1},
        {"overlapping occurrences", LastPos("aa", "aaa"), 2},
        {"case-sensitive", LastPos("A", "abc"), 0},
        {"empty substring gives length", LastPos("", "abcd"), 4},
        {"empty both", LastPos("", ""), 0},
        {"longer than text", LastPos("abcd", "abc"), 0},
        {"has, case-sensitive", HasSubStr("-K", "x-k1_y"), false},
        {"has", HasSubStr("-k", "x-k1_y"), true},
        {"has, empty substring", HasSubStr("", "abc"), false},
        {"has, in empty text", HasSubStr("a", ""), false},
        {"min", MinOf(3, -2), -2},
        {"min equal", MinOf(5, 5), 5},
        {"min first", MinOf(1, 2), 1},
    };
    for (const TPosCase& c : cases)
        EXPECT_EQ(c.Actual, c.Expected) << c.Name;
}

TEST(TextUtilsTest, SplitToListFollowsTheEdgeRules) {
    struct TSplitCase {
        QString Text;
        QChar Separator;
        QStringList Expected;
    };
    const TSplitCase cases[] = {
        {"a&b&", u'&', {"a", "b", ""}},
        {"x", u'|', {"x"}},
        {"*.a|*.b", u'|', {".a", ".b"}},
        {".a|.b", u'|', {".a", ".b"}},
        {"*.pdf|", u'|', {".pdf", ""}},
        {"|", u'|', {"", ""}},
        {"||a", u'|', {"", "", "a"}},
        {" a | b ", u'|', {" a ", " b "}},
        {"*", u'|', {""}},
        {"a|a", u'|', {"a", "a"}},
    };
    for (const TSplitCase& c : cases) {
        QStringList list{"old"};
        SplitToList(list, c.Text, c.Separator);
        EXPECT_EQ(list, c.Expected) << c.Text.toStdString();
    }
}

TEST(TextUtilsTest, SplitOfEmptyTextKeepsTheList) {
    QStringList list{"keep", "these"};
    SplitToList(list, "", u'|');
    EXPECT_EQ(list, QStringList({"keep", "these"}));
}

TEST(TextUtilsTest, RaiseErrorThrowsWithTheMessage) {
    try {
        RaiseError("Error get getSysAppDataDir");
        FAIL() << "RaiseError returned";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Error get getSysAppDataDir");
    }
}
