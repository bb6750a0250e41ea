// The language file: carried as a "Lang" resource of the installer's file and applied to a form
// with one control of each kind the translation engine treats apart. The first byte chooses
// whether the text is read enciphered and whether the form takes the language's font.
#include "FuzzTargets.h"

#include "resources/ResourceContainer.h"
#include "base/RunningExe.h"
#include "ui/Controls.h"
#include "ui/TransLang.h"

#include <QComboBox>
#include <QStatusBar>
#include <QTreeWidget>
#include <QWidget>

namespace {
// Named like the installer's controls so a section's lines find them.
class TFuzzForm : public QWidget {
public:
    TFuzzForm() {
        setObjectName(QStringLiteral("FrmMain"));
        named(new TLabel(this), "lblTitle");
        named(new TEdit(this), "edtDir");
        named(new TPanel(this), "pnlTop");
        named(new TImage(this), "imgLogo");
        named(new QComboBox(this), "cbbLang");
        auto* list = named(new QTreeWidget(this), "lvFiles");
        list->setColumnCount(3);
        auto* bar = named(new QStatusBar(this), "sbMain");
        bar->addWidget(new QLabel(bar));
        bar->addWidget(new QLabel(bar));
    }

private:
    template <typename T> T* named(T* Control, const char* Name) {
        Control->setObjectName(QString::fromLatin1(Name));
        return Control;
    }
};
} // namespace

int FuzzLanguageFile(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    const bool encrypted = (Data[0] & 1) != 0;
    const bool changeFont = (Data[0] & 2) != 0;
    const TFuzzScratch scratch;
    const QString program = scratch.WriteFile(QStringLiteral("program"),
                                              reinterpret_cast<const std::uint8_t*>("ELF"), 3);
    const QString exe = scratch.Path() + QStringLiteral("/setup.exe");
    {
        TResourceWriter writer(program, exe);
        writer.AddBytes(LanguageInfo(Lang_EN).ResName, cnLangResType,
                        FuzzBytes(Data + 1, Size - 1));
        writer.Finish();
    }
    SetRunningExePath(exe);
    try {
        TTransLang lang(QStringLiteral("2.0.2.6"), Lang_EN, true, encrypted);
        TFuzzForm form;
        lang.TransFormLang(&form, changeFont);
    } catch (const Exception&) {
        // A key given twice or a shift that is not a number: the documented refusals.
    }
    SetRunningExePath(QString());
    return 0;
}
