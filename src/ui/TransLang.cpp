// The form translation engine: language files, sections, the code table and template export.
#include "ui/TransLang.h"

#include "config/TextUtils.h"
#include "resources/Resources.h"
#include "support/Cipher.h"
#include "support/Constants.h"
#include "ui/CommForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTreeWidget>
#include <QWidget>

namespace {
const QString cnLineBreak = QStringLiteral("\r\n");
const QString cnLineBreakMark = QStringLiteral("#$");
const QString cnVersionMark = QStringLiteral("[Version]");
const QString cnTranMsgSection = QStringLiteral("TranMsg");
const QString cnEndLine = QStringLiteral("[End]");
// Classes whose "Caption" and "Hint" go into the template (a substring test on the class name).
const QString cnCaptionClasses = QStringLiteral(
    "TMenuItem,TToolButton,TGroupBox,TCheckBox,TRadioButton,TLabel,TSpeedButton,TBitBtn,"
    "TTextImageButton,TButton,TbsSkinButton,TbsSkinCheckRadioBox,TbsSkinCheckRadioBox,"
    "TbsSkinStatusPanel,TbsSkinPanel,TbsSkinGroupBox,TbsSkinStdLabel,TbsSkinLinkLabel,TRzButton,"
    "TRzSpeedButton,TRzSpeedButton,TRzGroupBox,TRzCheckBox,TRzRadioButton,TRzLabel,TSpeedButton,"
    "TBitBtn");

// Leading and trailing characters with codes up to 32 removed.
QString trimControls(const QString& S) {
    qsizetype first = 0;
    qsizetype last = S.size();
    while (first < last && S[first].unicode() <= 32)
        ++first;
    while (last > first && S[last - 1].unicode() <= 32)
        --last;
    return S.mid(first, last - first);
}

// Lines split at CR LF, lone CR or lone LF; a final line break adds no empty line.
QStringList splitLines(const QString& Text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = Text.split(lineBreak);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The items of a value in which each item is ended by "|"; text after the last "|" is dropped.
QStringList endedItems(const QString& Value) {
    QStringList items = Value.split(u'|');
    items.removeLast();
    return items;
}

// The property the code names, by the code table.
QString propertyForCode(const QString& Code, const QString& ComponentName) {
    if (Code == u"Text")
        return ComponentName.startsWith(u"edt") ? QStringLiteral("Text")
                                                : QStringLiteral("Caption");
    if (Code == u"Widt")
        return QStringLiteral("Width");
    if (Code == u"Prog")
        return QStringLiteral("ProgressText");
    if (Code == u"URLL")
        return QStringLiteral("URL");
    return Code;
}

// Published properties are looked up as the toolkit's type information does: letter case
// does not matter (the exact spelling wins when both exist).
QMetaProperty findProperty(const QObject* Object, const QString& Name) {
    const QMetaObject* meta = Object->metaObject();
    const int exact = meta->indexOfProperty(Name.toLatin1().constData());
    if (exact >= 0)
        return meta->property(exact);
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (QString::fromLatin1(property.name()).compare(Name, Qt::CaseInsensitive) == 0)
            return property;
    }
    return {};
}

bool isTextProperty(const QMetaProperty& Property) {
    return Property.isValid() && Property.metaType() == QMetaType::fromType<QString>();
}

void setTextProperty(QObject* Object, const QString& Name, const QString& Value) {
    const QMetaProperty property = findProperty(Object, Name);
    if (isTextProperty(property) && property.isWritable())
        property.write(Object, Value);
}

QString readTextProperty(const QObject* Object, const QString& Name) {
    const QMetaProperty property = findProperty(Object, Name);
    return isTextProperty(property) ? property.read(Object).toString() : QString();
}

// The controls of a form that a line can name (the toolkit's own inner widgets have no name a
// translator could know).
QList<QObject*> namedComponents(const QWidget* Form) {
    QList<QObject*> components;
    for (QObject* object : Form->findChildren<QObject*>()) {
        const QString name = object->objectName();
        if (!name.isEmpty() && !name.startsWith(u"qt_"))
            components.append(object);
    }
    return components;
}

QObject* findComponent(const QWidget* Form, const QString& Name) {
    for (QObject* object : namedComponents(Form))
        if (object->objectName().compare(Name, Qt::CaseInsensitive) == 0)
            return object;
    return nullptr;
}

// A status bar's panels are the labels it holds, in order.
QList<QLabel*> statusPanels(const QStatusBar* Bar) {
    return Bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
}

int toInteger(const QString& Value) {
    bool ok = false;
    const int number = Value.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Value));
    return number;
}
} // namespace

TTransLang::TTransLang(const QString& SoftVer, TLanguage Lang, bool bTranMsg,
                       bool bEncryptedFormText)
    : TTransLang(TSoftInfo{QString(), SoftVer, 0, Lang}, bTranMsg, bEncryptedFormText) {}

TTransLang::TTransLang(const TSoftInfo& softinfo, bool bTranMsg, bool bEncryptedFormText)
    : FSoftVer(softinfo.softVer), FLang(softinfo.lang),
      FLangName(LanguageInfo(softinfo.lang).ResName) {
    LoadLangResource(FLangName, FAllStrList, bEncryptedFormText);
    if (bTranMsg) {
        LoadTranMsg();
        DoAfterLoadTranMsg();
    }
}

bool TTransLang::LoadLangResource(const QString& Name, QStringList& List, bool bDecrypt) {
    List.clear();
    if (!ResourceExists(Name, cnLangResType))
        return false;
    LoadLangText(trimControls(LoadTextResource(Name, cnLangResType)), List, bDecrypt);
    return true;
}

void TTransLang::LoadLangText(const QString& Text, QStringList& List, bool bDecrypt) {
    QString text = bDecrypt ? AesDecryptHexText(Text, LangResourceKey()) : Text;
    // The deciphered text carries the cipher's zero padding; a list's text ends at the first
    // null character.
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    List = splitLines(text);
}

bool TTransLang::GetSectionLines(const QStringList& AllLines, const QString& Name,
                                 QStringList& Lines) {
    const qsizetype start = AllLines.indexOf(u'[' + Name + u']');
    if (start < 0)
        return false;
    for (qsizetype i = start + 1; i < AllLines.size() && AllLines[i] != cnEndLine; ++i)
        Lines.append(AllLines[i]);
    return true;
}

void TTransLang::LoadTranMsg() {
    QStringList lines;
    GetSectionLines(FAllStrList, cnTranMsgSection, lines);
    for (const QString& raw : std::as_const(lines)) {
        const QString line = ReplaceAll(raw, cnLineBreakMark, cnLineBreak, false);
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq);
        if (FMsgList.contains(key))
            throw EListError(QStringLiteral("Duplicates not allowed"));
        FMsgList.insert(key, line.mid(eq + 1));
    }
}

void TTransLang::TransFormLang(QWidget* Form, bool bChangeFont) {
    if (bChangeFont) {
        const TLanguageInfo& lang = LanguageInfo(FLang);
        QFont formFont = Form->font();
        formFont.setFamily(lang.FontName);
        formFont.setPointSize(lang.FontSize);
        Form->setFont(formFont);
    }
    QStringList lines;
    if (GetSectionLines(FAllStrList, Form->objectName(), lines))
        ApplyFormText(Form, lines);
}

void TTransLang::ApplyFormText(QWidget* Form, const QStringList& Lines) {
    for (const QString& line : Lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 5)
            continue;
        const QString key = line.left(eq);
        const QString code = key.right(4);
        const QString name = key.left(key.size() - 4);
        QString value = ReplaceAll(line.mid(eq + 1), cnLineBreakMark, cnLineBreak, false);
        const qsizetype version = value.indexOf(cnVersionMark);
        if (version >= 0)
            value = value.left(version) + u' ' + FSoftVer;

        if (name.size() >= 3 && name.left(3).compare(u"Frm", Qt::CaseInsensitive) == 0) {
            Form->setWindowTitle(value);
            continue;
        }
        QObject* component = findComponent(Form, name);
        if (!component)
            continue;
        const QString property = propertyForCode(code, name);

        if (property == u"Colu") {
            if (auto* list = qobject_cast<QTreeWidget*>(component)) {
                const QStringList items = endedItems(value);
                // Columns the list does not have are passed over.
                for (int i = 0; i < items.size() && i < list->columnCount(); ++i)
                    list->headerItem()->setText(i, items[i]);
            }
        } else if (property == u"SBar") {
            if (auto* bar = qobject_cast<QStatusBar*>(component)) {
                const QStringList items = endedItems(value);
                const QList<QLabel*> panels = statusPanels(bar);
                for (qsizetype i = 0; i < items.size() && i < panels.size(); ++i)
                    panels[i]->setText(items[i]);
            }
        } else if (property == u"Comb") {
            if (auto* combo = qobject_cast<QComboBox*>(component)) {
                combo->clear();
                combo->addItems(endedItems(value));
            }
        } else if (property == u"Width" || property == u"Left") {
            const int shift = toInteger(value);
            if (auto* widget = qobject_cast<QWidget*>(component)) {
                if (property == u"Width")
                    widget->resize(widget->width() + shift, widget->height());
                else
                    widget->move(widget->x() + shift, widget->y());
            }
        }

        setTextProperty(component, property, value);
        const QMetaProperty fontProperty = findProperty(component, QStringLiteral("Font"));
        if (fontProperty.isValid() && fontProperty.metaType() == QMetaType::fromType<QFont>() &&
            fontProperty.isWritable()) {
            QFont font = fontProperty.read(component).value<QFont>();
            font.setFamily(Form->font().family());
            fontProperty.write(component, font);
        }
    }
}

void TTransLang::GetFormCompInfo(QStringList& List) {
    for (TCommForm* form : TCommForm::Forms()) {
        List.append(QString());
        List.append(u'[' + form->objectName() + u']');
        List.append(QStringLiteral("FrmCaptionText=") + form->windowTitle());
        for (QObject* component : namedComponents(form)) {
            const QString className = QString::fromLatin1(component->metaObject()->className());
            QString text, hint, columns, items, panels;
            if (HasSubStr(className, cnCaptionClasses)) {
                text = readTextProperty(component, QStringLiteral("Caption"));
                hint = readTextProperty(component, QStringLiteral("Hint"));
            } else if (auto* edit = qobject_cast<QLineEdit*>(component)) {
                text = edit->text();
                hint = readTextProperty(component, QStringLiteral("Hint"));
            } else if (auto* list = qobject_cast<QTreeWidget*>(component)) {
                hint = readTextProperty(component, QStringLiteral("Hint"));
                for (int i = 0; i < list->columnCount(); ++i)
                    columns += list->headerItem()->text(i) + u'|';
            } else if (auto* combo = qobject_cast<QComboBox*>(component)) {
                for (int i = 0; i < combo->count(); ++i)
                    items += combo->itemText(i) + u'|';
            } else if (auto* bar = qobject_cast<QStatusBar*>(component)) {
                for (const QLabel* panel : statusPanels(bar))
                    panels += panel->text() + u'|';
            } else if (component->inherits("TTabSheet") || component->inherits("TRzTabSheet")) {
                text = readTextProperty(component, QStringLiteral("Caption"));
            } else if (component->inherits("TImage")) {
                hint = readTextProperty(component, QStringLiteral("Hint"));
            }
            text = ReplaceAll(text, cnLineBreak, cnLineBreakMark, false);
            const QString name = component->objectName();
            const std::pair<const char*, const QString*> entries[] = {{"Text", &text},
                                                                      {"Hint", &hint},
                                                                      {"Colu", &columns},
                                                                      {"Comb", &items},
                                                                      {"SBar", &panels}};
            for (const auto& [code, entry] : entries)
                if (!entry->isEmpty())
                    List.append(name + QLatin1String(code) + u'=' + *entry);
        }
        List.append(cnEndLine);
    }
}

void TTransLang::GetFormCompInfo(QWidget* txt_list_owner) {
    auto* memo = new QPlainTextEdit(txt_list_owner);
    memo->setObjectName(QStringLiteral("mmo1"));
    memo->setGeometry(8, 16, 369, 241);
    QStringList lines{QStringLiteral("mmo1")};
    GetFormCompInfo(lines);
    memo->setPlainText(lines.join(u'\n'));
}
