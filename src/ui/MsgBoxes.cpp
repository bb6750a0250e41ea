// The dialog wrappers and the system message boxes.
#include "ui/MsgBoxes.h"

#include "platform/RegIntegration.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

void ShowMsgBox(const QString& msg) {
    auto box = CreateForm<TFrmMsgBox>(msg);
    box->exec();
}

bool ShowConfirmBox(const QString& msg, bool btnYesDefault) {
    auto box = CreateForm<TFrmConfirmbox>(msg, btnYesDefault);
    return box->exec() == mrOk;
}

bool AskYesNo(QWidget* Owner, const QString& Caption, const QString& Text) {
    QMessageBox box(QMessageBox::Question, Caption, Text, QMessageBox::Yes | QMessageBox::No,
                    Owner);
    return box.exec() == QMessageBox::Yes;
}

void ShowErrorCode(int code) {
    // Without a widget application (a command-line tool) there is no box to show it in.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%d\n", code);
        return;
    }
    QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(),
                    QString::number(code), QMessageBox::Ok);
    box.exec();
}

void InstallShowErrorCodeHandler() {
    SetShowErrorCodeHandler(ShowErrorCode);
}
