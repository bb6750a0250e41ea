// The reinstall prompt and the system message boxes of the session.
#include "session/SessionDialogs.h"

#include "ui/CommForm.h"
#include "ui/UntCheckIfInstalled.h"

#include <QApplication>
#include <QMessageBox>

int SessionCheckIfInstalled(const QString& Msg) {
    auto dialog = CreateForm<TFrmCheckIfInstall>(Msg);
    return dialog->exec();
}

void SessionStandardBox(const QString& Text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), Text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void SessionShowError(const QString& Text) {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), Text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
