// The yes/no question: its layout values and the default button's looks.
#include "ui/UntConfirmbox.h"

namespace {
const TQuestionBoxLayout cnLayout{"FrmConfirmbox",
                                  442,
                                  true,
                                  {9, 6, 32, 21},
                                  16,
                                  QColor(0x3A, 0x3A, 0x3A),
                                  {99, 60, 320, 63},
                                  16,
                                  QStringLiteral("是"),
                                  {181, 148},
                                  QStringLiteral("否"),
                                  {314, 148},
                                  16,
                                  402,
                                  false};
} // namespace

TFrmConfirmbox::TFrmConfirmbox(const QString& msg, bool btnYesDefault)
    : TQuestionBox(cnLayout, msg), FBtnYesDefault(btnYesDefault) {}

void TFrmConfirmbox::FormCreate() {
    loadEmbeddedPictures(FBtnYesDefault);
    (FBtnYesDefault ? btnNo : btnYes)->SetFontColor(Qt::black);
}

void TFrmConfirmbox::btnYesMouseEnter(QObject*) {
    btnYes->SetFontColor(FBtnYesDefault ? Qt::black : Qt::white);
}

void TFrmConfirmbox::btnYesMouseLeave(QObject*) {
    btnYes->SetFontColor(FBtnYesDefault ? Qt::white : Qt::black);
}
