// The reinstall prompt and the system message boxes of the session.
#include "session/SessionDialogs.h"

#include "platform/FileUtils.h"
#include "ui/CommForm.h"
#include "ui/MsgBoxes.h"
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

bool IsStoreFailure(LONG ErrorCode) {
    return ErrorCode == ERROR_BADDB || ErrorCode == ERROR_CANTOPEN || ErrorCode == ERROR_CANTREAD ||
           ErrorCode == ERROR_CANTWRITE;
}

QString SessionErrorText(const std::exception& E) {
    QString text = QString::fromUtf8(E.what());
    // "Failed to set data for ..." alone does not tell the user that the store is to blame.
    if (const auto* reg = dynamic_cast<const ERegistryException*>(&E);
        reg && IsStoreFailure(reg->ErrorCode()))
        text += QStringLiteral(": ") + RegErrorMessage(reg->ErrorCode());
    return text;
}

void SessionShowError(const std::exception& E) {
    SessionShowError(SessionErrorText(E));
}

QString SessionStoreErrorText(HKEY Root, LONG ErrorCode) {
    return NativePath(RegDatabasePath(Root)) + QStringLiteral(": ") + RegErrorMessage(ErrorCode);
}

bool SessionBeginStoreTransaction(QWidget* Owner, HKEY Root,
                                  std::unique_ptr<TRegTransaction>& Transaction, LONG* Error) {
    for (;;) {
        Transaction = std::make_unique<TRegTransaction>(Root);
        const LONG error = Transaction->Error();
        if (Error)
            *Error = error;
        if (error == ERROR_SUCCESS)
            return true;
        Transaction.reset();
        if (error != ERROR_CANTREAD && error != ERROR_CANTWRITE)
            return true;
        // A lock outlasting the store's own wait is another program in the middle of
        // something; only the user knows whether it will let go.
        const QString question = SessionStoreErrorText(Root, error) +
                                 QStringLiteral("\nThe registry store is in use by another "
                                                "program. Try again?");
        if (!AskYesNo(Owner, QApplication::applicationDisplayName(), question))
            return false;
    }
}
