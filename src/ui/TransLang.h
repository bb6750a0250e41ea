// The form translation engine: applies the section of a language file named after a form to the
// form's controls (texts by property name, relative shifts, list columns and items, fonts), and
// exports the template a translator fills in. Language files are resources of type "Lang".
#pragma once

#include "base/Exception.h"
#include "ui/Language.h"

#include <QHash>
#include <QString>
#include <QStringList>

class QWidget;

// A list refused an item: a second message with a key already present.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A text that should be a number and is not.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

struct TSoftInfo {
    QString softEnName;
    QString softVer;
    qint32 BuiltDate = 0;
    TLanguage lang = Lang_EN;
};

inline const QString cnLangResType = QStringLiteral("Lang");

class TTransLang {
public:
    TTransLang(const QString& SoftVer, TLanguage Lang, bool bTranMsg, bool bEncryptedFormText);
    // Reads the language resource; with bTranMsg also the message table (throws EListError
    // "Duplicates not allowed" on a key given twice).
    TTransLang(const TSoftInfo& softinfo, bool bTranMsg, bool bEncryptedFormText);
    virtual ~TTransLang() = default;
    TTransLang(const TTransLang&) = delete;
    TTransLang& operator=(const TTransLang&) = delete;

    // With bChangeFont the form takes the language's font; then the form's section is applied.
    // A "Width" or "Left" value that is not an integer throws EConvertError.
    void TransFormLang(QWidget* Form, bool bChangeFont);

    // Looks for the resource Name of type "Lang"; false and List empty when there is none.
    static bool LoadLangResource(const QString& Name, QStringList& List, bool bDecrypt);
    // The text of a language file (already trimmed) into lines; deciphered with the language
    // key first when asked. A text that does not decipher gives no lines.
    static void LoadLangText(const QString& Text, QStringList& List, bool bDecrypt);
    // The lines after the first line "[Name]" up to "[End]" or the end; false when none is.
    static bool GetSectionLines(const QStringList& AllLines, const QString& Name,
                                QStringList& Lines);
    // Fills the message table from the section "TranMsg".
    void LoadTranMsg();
    void ApplyFormText(QWidget* Form, const QStringList& Lines);

    // The template of every existing form, appended to List.
    static void GetFormCompInfo(QStringList& List);
    // Puts a memo "mmo1" on the form and fills it with the template of every form.
    static void GetFormCompInfo(QWidget* txt_list_owner);

    const QHash<QString, QString>& MsgList() const { return FMsgList; }
    const QStringList& AllStrList() const { return FAllStrList; }
    const QString& LangName() const { return FLangName; }

protected:
    // Runs after the message table is loaded.
    virtual void DoAfterLoadTranMsg() {}

private:
    QString FSoftVer;
    TLanguage FLang;
    QString FLangName;
    QHash<QString, QString> FMsgList;
    QStringList FAllStrList;
};
