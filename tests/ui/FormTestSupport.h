// Support for the tests of the installer's forms: an installer file carrying the demo product's
// pictures, and a stand-in user who answers modal dialogs with real clicks and keys.
#pragma once

#include "ui/UiTestSupport.h"

#include "resources/ResourceContainer.h"
#include "resources/Resources.h"
#include "testsupport/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace formtest {

// Writes Dir/Name: this test program followed by the demo product's configuration and every
// picture of resources/ except those in Without. Returns its path.
inline QString MakeDemoInstaller(const QString& Dir, const QStringList& Without = {},
                                 const QString& Name = QStringLiteral("demo-installer")) {
    const QString installer = Dir + u'/' + Name;
    const QDir resources(SourceDir() + QStringLiteral("/resources"));
    TResourceWriter writer(QCoreApplication::applicationFilePath(), installer);
    writer.AddFile(QStringLiteral("configfile"), cnResTypeFile,
                   resources.filePath(QStringLiteral("config.json")));
    for (const QFileInfo& file : resources.entryInfoList({QStringLiteral("*.png")}, QDir::Files))
        if (!Without.contains(file.completeBaseName()))
            writer.AddFile(file.completeBaseName(), cnResTypeFile, file.filePath());
    writer.Finish();
    return installer;
}

enum class TAnswer { First, Second, Cross, Escape };

// Answers every modal dialog that appears while it lives: once the dialog is on screen the test
// may look at it (Inspect), then the first or second button or the close cross is clicked, or
// Escape pressed. Branded dialogs are found by their controls' names, the system box by its
// standard buttons.
class TModalAnswerer : public QObject {
public:
    explicit TModalAnswerer(TAnswer Answer, std::function<void(QWidget*)> Inspect = {})
        : FAnswer(Answer), FInspect(std::move(Inspect)) {
        FTimer.setInterval(5);
        connect(&FTimer, &QTimer::timeout, this, [this] { poll(); });
        FTimer.start();
    }

    int Answered() const { return FAnswered; }

private:
    QWidget* target(QWidget* Modal) const {
        auto* box = qobject_cast<QMessageBox*>(Modal);
        switch (FAnswer) {
        case TAnswer::First:
            if (box)
                return box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)
                                                     : box->button(QMessageBox::Ok);
            if (auto* ok = Modal->findChild<QWidget*>(QStringLiteral("btnOK")))
                return ok;
            return Modal->findChild<QWidget*>(QStringLiteral("btnYes"));
        case TAnswer::Second:
            return box ? box->button(QMessageBox::No)
                       : Modal->findChild<QWidget*>(QStringLiteral("btnNo"));
        case TAnswer::Cross:
            return Modal->findChild<QWidget*>(QStringLiteral("imgbtnClose"));
        case TAnswer::Escape:
            return Modal;
        }
        return nullptr;
    }

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal == FLast) {
            // Only a guard against a dialog that ignores its answer and would hang the test.
            if (++FIgnored == 2000) {
                ADD_FAILURE() << "the dialog stayed open after its answer";
                modal->close();
            }
            return;
        }
        FLast = modal;
        FIgnored = 0;
        FTimer.stop();
        if (!QTest::qWaitForWindowExposed(modal))
            ADD_FAILURE() << "the dialog never reached the screen";
        if (FInspect)
            FInspect(modal);
        QWidget* control = target(modal);
        ++FAnswered;
        if (!control) {
            ADD_FAILURE() << "the dialog has no control for this answer";
            modal->close();
        } else if (FAnswer == TAnswer::Escape) {
            QTest::keyClick(control, Qt::Key_Escape);
        } else {
            QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
        }
        FTimer.start();
    }

    TAnswer FAnswer;
    std::function<void(QWidget*)> FInspect;
    QTimer FTimer;
    QPointer<QWidget> FLast;
    int FAnswered = 0;
    int FIgnored = 0;
};

} // namespace formtest
