// The form translation engine: the lines of a form's section applied to real controls, language
// files read from the executable (plain and enciphered), the message table and template export.
#include "ui/UiTestSupport.h"

#include "resources/ResourceContainer.h"
#include "base/RunningExe.h"
#include "support/Cipher.h"
#include "support/Constants.h"
#include "testsupport/TestEnv.h"
#include "ui/CommForm.h"
#include "ui/ImgBtnEx.h"
#include "ui/TextImageButton.h"
#include "ui/TransLang.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTreeWidget>
#include <openssl/evp.h>

using namespace uitest;

namespace {
// A form with one control of each kind the engine knows.
class TMsgForm : public TCommForm {
public:
    explicit TMsgForm(const QString& Name = QStringLiteral("FrmMsgBox")) {
        setObjectName(Name);
        resize(442, 192);
        lblMsg = named(new TLabel(this), "lblMsg");
        lblMsg->SetCaption(QStringLiteral("message"));
        lblTitle = named(new TLabel(this), "lblTitle");
        path = named(new TLabel(this), "path");
        btnOK = named(new TTextImageButton(this), "btnOK");
        btnOK->setGeometry(178, 149, 100, 30);
        QFont buttonFont(QStringLiteral("DejaVu Serif"));
        buttonFont.setPixelSize(16);
        btnOK->setFont(buttonFont);
        edtPath = named(new TEdit(this), "edtPath");
        cmbList = named(new QComboBox(this), "cmbList");
        cmbList->addItems({QStringLiteral("old")});
        lvFiles = named(new QTreeWidget(this), "lvFiles");
        lvFiles->setHeaderLabels({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        sbMain = named(new QStatusBar(this), "sbMain");
        for (int i = 0; i < 2; ++i) {
            panels[i] = new QLabel(sbMain);
            sbMain->addWidget(panels[i]);
        }
        imgLogo = named(new TImage(this), "imgLogo");
        grpBox = named(new TGroupBox(this), "grpBox");
    }

    TLabel* lblMsg;
    TLabel* lblTitle;
    TLabel* path;
    TTextImageButton* btnOK;
    TEdit* edtPath;
    QComboBox* cmbList;
    QTreeWidget* lvFiles;
    QStatusBar* sbMain;
    QLabel* panels[2];
    TImage* imgLogo;
    TGroupBox* grpBox;

private:
    template <class T> T* named(T* Control, const char* Name) {
        Control->setObjectName(QString::fromLatin1(Name));
        return Control;
    }
};

QStringList Items(const QComboBox* Combo) {
    QStringList items;
    for (int i = 0; i < Combo->count(); ++i)
        items.append(Combo->itemText(i));
    return items;
}

QStringList Headers(const QTreeWidget* List) {
    QStringList headers;
    for (int i = 0; i < List->columnCount(); ++i)
        headers.append(List->headerItem()->text(i));
    return headers;
}

// The stored form of the string cipher for Text under Key, as the maker's tool writes it.
QString Encipher(const QString& Text, const QString& Key) {
    QByteArray plain = AnsiEncode(Text);
    const qsizetype length = plain.size();
    plain.append(QByteArray((16 - plain.size() % 16) % 16, '\0'));
    const TAESKey128 key = AesKeyFromText(Key);
    QByteArray cipher(plain.size(), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(cipher.data()), &written,
                      reinterpret_cast<const unsigned char*>(plain.constData()), int(plain.size()));
    EVP_CIPHER_CTX_free(ctx);
    QByteArray stored(4, '\0');
    for (int i = 0; i < 4; ++i)
        stored[i] = char((length >> (8 * i)) & 0xFF);
    return QString::fromLatin1((stored + cipher).toHex().toUpper());
}

class TransLangTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath({}); }

    // The running executable becomes a copy carrying these "Lang" resources.
    void CarryLanguages(const std::map<QString, QByteArray>& Languages) {
        const QString program = FEnv.Tmp() + "/program";
        const QString installer = FEnv.Tmp() + "/setup";
        WriteTestFile(program, "program bytes");
        TResourceWriter writer(program, installer);
        for (const auto& [name, text] : Languages)
            writer.AddBytes(name, cnLangResType, text);
        writer.Finish();
        SetRunningExePath(installer);
    }

    // The lines applied to a fresh form by an engine that has no language file.
    void Apply(TMsgForm& Form, const QStringList& Lines, const QString& Version = {}) {
        TTransLang trans(Version, Lang_EN, false, false);
        trans.ApplyFormText(&Form, Lines);
    }
};
} // namespace

TEST_F(TransLangTest, LinesOfAFormSection) {
    struct TCase {
        QString Line;
        std::function<void(TMsgForm&)> Check;
    };
    const TCase cases[] = {
        {"lblMsgText=a#$b", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "a\r\nb"); }},
        {"lblMsgText=a=b", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "a=b"); }},
        {"LBLMSGText=any case", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "any case"); }},
        {"btnOKWidt=-10",
         [](TMsgForm& f) { EXPECT_EQ(f.btnOK->geometry(), QRect(178, 149, 90, 30)); }},
        {"btnOKLeft=5",
         [](TMsgForm& f) { EXPECT_EQ(f.btnOK->geometry(), QRect(183, 149, 100, 30)); }},
        {"btnOKText=Go", [](TMsgForm& f) { EXPECT_EQ(f.btnOK->Caption(), "Go"); }},
        {"btnOKHint=Tip", [](TMsgForm& f) { EXPECT_EQ(f.btnOK->toolTip(), "Tip"); }},
        {"lblTitleText=Setup [Version] now",
         [](TMsgForm& f) { EXPECT_EQ(f.lblTitle->Caption(), "Setup  3.1"); }},
        {"edtPathText=C:\\x", [](TMsgForm& f) { EXPECT_EQ(f.edtPath->text(), "C:\\x"); }},
        {"pathText=C:\\x", [](TMsgForm& f) { EXPECT_EQ(f.path->Caption(), "C:\\x"); }},
        {"frmAnythingText=Hello", [](TMsgForm& f) { EXPECT_EQ(f.windowTitle(), "Hello"); }},
        {"FRMxHint=Hi", [](TMsgForm& f) { EXPECT_EQ(f.windowTitle(), "Hi"); }},
        {"grpBoxText=Group", [](TMsgForm& f) { EXPECT_EQ(f.grpBox->title(), "Group"); }},
        {"imgLogoHint=Logo", [](TMsgForm& f) { EXPECT_EQ(f.imgLogo->toolTip(), "Logo"); }},
        {"cmbListComb=one|two|rest",
         [](TMsgForm& f) {
             EXPECT_EQ(Items(f.cmbList), QStringList({"one", "two"}));
         }},
        {"lvFilesColu=Name|Size|",
         [](TMsgForm& f) {
             EXPECT_EQ(Headers(f.lvFiles), QStringList({"Name", "Size", "c"}));
         }},
        {"lvFilesColu=1|2|3|4|5|",
         [](TMsgForm& f) {
             EXPECT_EQ(Headers(f.lvFiles), QStringList({"1", "2", "3"}));
         }},
        {"sbMainSBar=Ready|50%|",
         [](TMsgForm& f) {
             EXPECT_EQ(f.panels[0]->text(), "Ready");
             EXPECT_EQ(f.panels[1]->text(), "50%");
         }},
        // Lines that change nothing.
        {"lblMsgComb=a|b|", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "message"); }},
        {"lblMsgXyzw=zz", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "message"); }},
        {"nobodyText=x", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "message"); }},
        {"Text=x", [](TMsgForm& f) { EXPECT_EQ(f.windowTitle(), ""); }},
        {"lblMsgText", [](TMsgForm& f) { EXPECT_EQ(f.lblMsg->Caption(), "message"); }},
        {"cmbListSBar=a|", [](TMsgForm& f) { EXPECT_EQ(Items(f.cmbList), QStringList{"old"}); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line.toStdString());
        TMsgForm form;
        Apply(form, {c.Line}, QStringLiteral("3.1"));
        c.Check(form);
    }
}

TEST_F(TransLangTest, TranslatedControlsTakeTheFormsFontFaceAndKeepTheirSize) {
    TMsgForm form;
    form.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 11));
    Apply(form, {"btnOKHint=x"});
    EXPECT_EQ(form.btnOK->font().family(), "DejaVu Sans Mono");
    EXPECT_EQ(form.btnOK->font().pixelSize(), 16);
}

TEST_F(TransLangTest, WidthThatIsNotANumberEndsThePass) {
    TMsgForm form;
    try {
        Apply(form, {"lblMsgText=first", "btnOKWidt=wide", "lblTitleText=never"});
        ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'wide' is not a valid integer value");
    }
    EXPECT_EQ(form.lblMsg->Caption(), "first");
    EXPECT_EQ(form.lblTitle->Caption(), "");
    EXPECT_EQ(form.btnOK->width(), 100);
}

TEST_F(TransLangTest, SectionsAreFoundByExactNameAndRunToEndOrTheLastLine) {
    const QStringList all = {"lblMsgText=outside",
                             "[frmmsgbox]",
                             "lblMsgText=wrong case",
                             "[End]",
                             " [FrmMsgBox]",
                             "lblMsgText=indented",
                             "[End]",
                             "[FrmMsgBox]",
                             "lblMsgText=first",
                             "[End] ",
                             "lblTitleText=still in",
                             "[End]",
                             "[FrmMsgBox]",
                             "lblMsgText=second",
                             "[Other]",
                             "x=1"};
    QStringList lines;
    EXPECT_TRUE(TTransLang::GetSectionLines(all, "FrmMsgBox", lines));
    EXPECT_EQ(lines, QStringList({"lblMsgText=first", "[End] ", "lblTitleText=still in"}));
    lines.clear();
    EXPECT_TRUE(TTransLang::GetSectionLines(all, "Other", lines));
    EXPECT_EQ(lines, QStringList{"x=1"});
    lines.clear();
    EXPECT_FALSE(TTransLang::GetSectionLines(all, "FrmConfirmbox", lines));
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(TransLangTest, NoLanguageResourceSetsOnlyTheFont) {
    TMsgForm form;
    TTransLang trans(QStringLiteral("3.1"), Lang_KO, true, false);
    EXPECT_TRUE(trans.AllStrList().isEmpty());
    EXPECT_TRUE(trans.MsgList().isEmpty());
    trans.TransFormLang(&form, true);
    EXPECT_EQ(form.font().family(), "Tahoma");
    EXPECT_EQ(form.font().pointSize(), 8);
    EXPECT_EQ(form.lblMsg->Caption(), "message");
    EXPECT_EQ(form.btnOK->font().family(), "DejaVu Serif");
}

TEST_F(TransLangTest, LanguageFileFromTheExecutable) {
    CarryLanguages({{"EN", "\xEF\xBB\xBF \r\n[FrmMsgBox]\r\nlblMsgText=\xE4\xBD\xA0\xE5\xA5\xBD"
                           "\nlblTitleText=v[Version]\rbtnOKLeft=-8\r\n[End]\r\n\r\n"}});
    TMsgForm form;
    TTransLang trans(QStringLiteral("2.0"), Lang_EN, false, false);
    EXPECT_EQ(trans.AllStrList().first(), "[FrmMsgBox]");
    trans.TransFormLang(&form, true);
    EXPECT_EQ(form.lblMsg->Caption(), QStringLiteral("你好"));
    EXPECT_EQ(form.lblTitle->Caption(), "v 2.0");
    EXPECT_EQ(form.btnOK->x(), 170);
    EXPECT_EQ(form.font().family(), "Tahoma");

    // Another language has no resource; a form of another name has no section.
    TMsgForm french;
    TTransLang(QString(), Lang_FR, false, false).TransFormLang(&french, false);
    EXPECT_EQ(french.lblMsg->Caption(), "message");
    TMsgForm other(QStringLiteral("FrmConfirmbox"));
    TTransLang(QString(), Lang_EN, false, false).TransFormLang(&other, false);
    EXPECT_EQ(other.lblMsg->Caption(), "message");
}

TEST_F(TransLangTest, EncipheredLanguageFile) {
    const QString plain = QStringLiteral("[FrmMsgBox]\r\nlblMsgText=secret\r\n[End]");
    CarryLanguages({{"EN", Encipher(plain, LangResourceKey()).toLatin1()},
                    {"GE", Encipher(plain, QStringLiteral("000000")).toLatin1() + "\r\n"},
                    {"SP", "not hexadecimal at all"}});
    struct TCase {
        TLanguage Lang;
        bool Deciphered;
        QString Caption;
    };
    const TCase cases[] = {
        {Lang_EN, true, "secret"},
        {Lang_EN, false, "message"}, // the hex text is no section
        {Lang_GE, true, "message"},  // wrong key: garbage lines
        {Lang_SP, true, "message"},  // does not decipher
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Lang << " " << c.Deciphered);
        TMsgForm form;
        TTransLang trans(QString(), c.Lang, false, c.Deciphered);
        trans.TransFormLang(&form, false);
        EXPECT_EQ(form.lblMsg->Caption(), c.Caption);
    }
    // The zero padding of the cipher does not end up in the last line.
    QStringList lines;
    TTransLang::LoadLangText(Encipher(plain, LangResourceKey()), lines, true);
    EXPECT_EQ(lines, QStringList({"[FrmMsgBox]", "lblMsgText=secret", "[End]"}));
    TTransLang::LoadLangText(QStringLiteral("0400000012"), lines, true);
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(TransLangTest, MessageTable) {
    CarryLanguages({{"EN", "[TranMsg]\nhello=Hello#$world\nno separator\nkey=a=b\n[End]"},
                    {"FR", "[TranMsg]\nk=1\nK=2\nk=3\n[End]"}});
    TTransLang trans(QString(), Lang_EN, true, false);
    EXPECT_EQ(trans.MsgList().size(), 2);
    EXPECT_EQ(trans.MsgList().value("hello"), "Hello\r\nworld");
    EXPECT_EQ(trans.MsgList().value("key"), "a=b");

    try {
        TTransLang duplicate(QString(), Lang_FR, true, false);
        ADD_FAILURE() << "duplicate key accepted";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "Duplicates not allowed");
    }
    // Not asked for, the table is not read.
    EXPECT_NO_THROW(TTransLang(QString(), Lang_FR, false, false));
}

TEST_F(TransLangTest, TemplateExportAndReadBack) {
    auto fill = [](TMsgForm& f) {
        f.setWindowTitle("Export me");
        f.lblMsg->SetCaption("Line1\r\nLine2");
        f.lblMsg->SetHint("tip");
        f.edtPath->setText("path");
        f.cmbList->clear();
        f.cmbList->addItems({"x", "y"});
        f.lvFiles->setColumnCount(2);
        f.lvFiles->setHeaderLabels({"N", "S"});
        f.panels[0]->setText("p1");
        f.panels[1]->setText("p2");
        f.imgLogo->SetHint("pic");
        f.btnOK->SetCaption("Go");
        f.grpBox->SetCaption("grp");
    };
    QStringList lines;
    {
        TMsgForm form(QStringLiteral("FrmExport"));
        fill(form);
        auto* close = new TImgBtnEx(&form);
        close->setObjectName("imgbtnClose");
        close->SetHint("x");
        TTransLang::GetFormCompInfo(lines);
    }
    const QStringList expected = {"",
                                  "[FrmExport]",
                                  "FrmCaptionText=Export me",
                                  "lblMsgText=Line1#$Line2",
                                  "lblMsgHint=tip",
                                  "btnOKText=Go",
                                  "edtPathText=path",
                                  "cmbListComb=x|y|",
                                  "lvFilesColu=N|S|",
                                  "sbMainSBar=p1|p2|",
                                  "imgLogoHint=pic",
                                  "grpBoxText=grp",
                                  "imgbtnCloseHint=x",
                                  "[End]"};
    EXPECT_EQ(lines, expected);

    // The template's lines fill an untranslated form with the same texts again.
    TMsgForm fresh(QStringLiteral("FrmExport"));
    fresh.lvFiles->setColumnCount(2);
    Apply(fresh, lines);
    TMsgForm reference;
    fill(reference);
    EXPECT_EQ(fresh.windowTitle(), "Export me");
    EXPECT_EQ(fresh.lblMsg->Caption(), reference.lblMsg->Caption());
    EXPECT_EQ(fresh.lblMsg->toolTip(), "tip");
    EXPECT_EQ(fresh.btnOK->Caption(), "Go");
    EXPECT_EQ(fresh.edtPath->text(), "path");
    EXPECT_EQ(Items(fresh.cmbList), Items(reference.cmbList));
    EXPECT_EQ(Headers(fresh.lvFiles), Headers(reference.lvFiles));
    EXPECT_EQ(fresh.panels[1]->text(), "p2");
    EXPECT_EQ(fresh.grpBox->title(), "grp");
}

TEST_F(TransLangTest, TemplateIntoAMemoOnAForm) {
    TMsgForm form(QStringLiteral("FrmTool"));
    TTransLang::GetFormCompInfo(&form);
    auto* memo = form.findChild<QPlainTextEdit*>("mmo1");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->geometry(), QRect(8, 16, 369, 241));
    const QStringList text = memo->toPlainText().split('\n');
    EXPECT_EQ(text.mid(0, 4), QStringList({"mmo1", "", "[FrmTool]", "FrmCaptionText="}));
    EXPECT_EQ(text.last(), "[End]");
}
