// The window's own buttons: finish, close, folder choice, the custom-install toggle and the
// minimize link.
#include "session/UntMain.h"

#include "config/TextUtils.h"
#include "platform/Process.h"
#include "ui/MsgBoxes.h"

#include <QFileDialog>
#include <QToolButton>

namespace {

const QString cnFolderPrompt = QStringLiteral("请选择软件安装目录");

// The folder chooser in directory-only mode; empty when cancelled.
QString ChooseFolder(QWidget* Owner) {
    QFileDialog Dialog(Owner, cnFolderPrompt);
    Dialog.setFileMode(QFileDialog::Directory);
    Dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    // The chooser only picks a folder; it makes none.
    if (auto* NewFolder = Dialog.findChild<QToolButton*>(QStringLiteral("newFolderButton")))
        NewFolder->hide();
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return {};
    return Dialog.selectedFiles().first();
}

} // namespace

void TFrmCommInst::btnInstallExitClick(QObject* /*Sender*/) {
    if (FConfigFile && !FConfigFile->OpenWebsiteAfterInstall.isEmpty()) {
        QString Page = ReplaceAll(FConfigFile->OpenWebsiteAfterInstall, QStringLiteral("[Version]"),
                                  FConfigFile->Version, false);
        Page = ReplaceAll(Page, QStringLiteral("[from]"), FConfigFile->FromSource, false);
        OpenUrlMaximized(Page);
    }
    close();
}

void TFrmCommInst::imgbtnCloseClick(QObject* /*Sender*/) {
    if (!FbInstallMode || !FConfigFile) {
        close();
    } else if (FInstallStatus == 2) {
        btnInstallExitClick(nullptr);
    } else if (ShowConfirmBox(QStringLiteral("您确定要退出安装程序吗?"), false)) {
        close();
    }
}

void TFrmCommInst::btnChangeInstallClick(QObject* /*Sender*/) {
    const QString Folder = ChooseFolder(this);
    if (Folder.isEmpty() || !FConfigFile)
        return;
    edtPath->setText(Folder.endsWith(u'/') ? Folder + FConfigFile->ProgramDirName
                                           : Folder + u'/' + FConfigFile->ProgramDirName);
}

void TFrmCommInst::lblMinimizeClick(QObject* /*Sender*/) {
    QMetaObject::invokeMethod(this, &QWidget::showMinimized, Qt::QueuedConnection);
}

void TFrmCommInst::imgOptionsMouseDown(QObject* /*Sender*/, Qt::MouseButton /*Button*/,
                                       Qt::KeyboardModifiers /*Shift*/, int /*X*/, int /*Y*/) {
    FImgDown = !FImgDown;
    imgDown->setVisible(imgDown->isHidden());
    imgUp->setVisible(imgUp->isHidden());
    if (FImgDown) {
        resize(width(), cnExpandedHeight);
        edtPath->deselect();
    } else {
        resize(width(), cnCollapsedHeight);
    }
}
