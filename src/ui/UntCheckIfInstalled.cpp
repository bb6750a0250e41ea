// The reinstall prompt: its layout values and button looks.
#include "ui/UntCheckIfInstalled.h"

namespace {
const TQuestionBoxLayout cnLayout{"FrmCheckIfInstall",
                                  440,
                                  false,
                                  {9, 6, 26, 19},
                                  13,
                                  QColor(),
                                  {99, 64, 313, 38},
                                  13,
                                  QStringLiteral("打开软件"),
                                  {181, 148},
                                  QStringLiteral("重新安装软件"),
                                  {312, 148},
                                  13,
                                  400,
                                  true};
} // namespace

TFrmCheckIfInstall::TFrmCheckIfInstall(const QString& msg) : TQuestionBox(cnLayout, msg) {}

void TFrmCheckIfInstall::FormCreate() {
    loadEmbeddedPictures(false);
}

void TFrmCheckIfInstall::btnYesMouseEnter(QObject*) {
    btnYes->SetFontColor(Qt::white);
}

void TFrmCheckIfInstall::btnYesMouseLeave(QObject*) {
    btnYes->SetFontColor(Qt::black);
}
