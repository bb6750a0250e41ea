// The window's own buttons as a person uses them: finish and close after an install, close
// before it (asked, "否" keeps everything), close in uninstall mode, the folder chooser with the
// root rule, the custom-install toggle and the minimize link.
#include "session/UninstallTestSupport.h"

#include "platform/RegIntegration.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString cnQuitQuestion = QStringLiteral("您确定要退出安装程序吗?");

class WindowActionsTest : public TSessionTest {
protected:
    std::unique_ptr<TFrmCommInst> shown(std::unique_ptr<TFrmCommInst> W) {
        W->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(W.get()));
        return W;
    }
};

TEST_F(WindowActionsTest, FinishAndCloseAfterInstallOpenThePageWithoutAsking) {
    FSpec.Config["OpenWebsiteAfterInstall"] = "http://127.0.0.1:9/done?v=[VERSION]&from=[From]";
    for (const bool ByCloseButton : {false, true}) {
        SCOPED_TRACE(ByCloseButton ? "close button" : "finish button");
        std::unique_ptr<TFrmCommInst> w;
        {
            // The second round finds the first install.
            TDialogHand reinstall({QStringLiteral("重新安装软件")});
            w = shown(installer(QStringLiteral("setup_abc.exe")));
        }
        TDialogHand hand({});
        QTest::mouseClick(w->btnInstall, Qt::LeftButton);
        ASSERT_EQ(w->InstallStatus(), 2);
        QTest::mouseClick(ByCloseButton ? static_cast<QWidget*>(w->imgbtnClose)
                                        : static_cast<QWidget*>(w->btnInstallExit),
                          Qt::LeftButton);
        EXPECT_TRUE(hand.Seen().isEmpty()) << hand.Seen().join(u'|').toStdString();
        EXPECT_FALSE(w->isVisible());
        const QStringList pages = FBrowser.Pages(ByCloseButton ? 2 : 1);
        ASSERT_FALSE(pages.isEmpty());
        EXPECT_EQ(pages.last(), QStringLiteral("http://127.0.0.1:9/done?v=2.0.2.6&from=abc"));
    }
}

TEST_F(WindowActionsTest, CloseBeforeInstallAsksAndNoKeepsEverything) {
    auto w = shown(installer());
    const QString path = w->edtPath->text();
    {
        TDialogHand hand({QStringLiteral("否")});
        QTest::mouseClick(w->imgbtnClose, Qt::LeftButton);
        ASSERT_EQ(hand.Seen(), QStringList({cnQuitQuestion}));
    }
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbInstall);
    EXPECT_EQ(w->edtPath->text(), path);
    EXPECT_EQ(w->InstallStatus(), 0);
    {
        TDialogHand hand({QStringLiteral("是")});
        QTest::mouseClick(w->imgbtnClose, Qt::LeftButton);
        ASSERT_EQ(hand.Seen(), QStringList({cnQuitQuestion}));
    }
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/unin.exe")));
}

TEST_F(WindowActionsTest, CloseInUninstallModeEndsAtOnceAndRemovesNothing) {
    ASSERT_TRUE(install());
    auto w = shown(uninstaller());
    TDialogHand hand({});
    QTest::mouseClick(w->imgbtnClose, Qt::LeftButton);
    EXPECT_TRUE(hand.Seen().isEmpty());
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(QFileInfo::exists(target() + QStringLiteral("/unin.exe")));
    EXPECT_FALSE(GetInstalledVersion(QStringLiteral("quintelzip_win")).isEmpty());
}

// Answers the folder chooser: types Folder and clicks its accept button, or cancels when empty.
void AnswerFolderChooser(const QString& Folder, QString& Title) {
    QTimer::singleShot(50, [Folder, &Title] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            AnswerFolderChooser(Folder, Title);
            return;
        }
        Title = dialog->windowTitle();
        auto* box = dialog->findChild<QDialogButtonBox*>();
        for (QAbstractButton* button : box->buttons()) {
            const auto role = box->buttonRole(button);
            if (Folder.isEmpty() && role == QDialogButtonBox::RejectRole) {
                button->click();
                return;
            }
            if (!Folder.isEmpty() && role == QDialogButtonBox::AcceptRole) {
                auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                edit->setText(Folder);
                button->click();
                return;
            }
        }
    });
}

TEST_F(WindowActionsTest, FolderChooserPutsTheProductInASubfolder) {
    auto w = shown(installer());
    const QString apps = FEnv.Root() + QStringLiteral("/apps");
    QDir().mkpath(apps);
    struct TCase {
        QString Chosen;
        QString Expected;
    };
    const TCase cases[] = {
        {apps, apps + QStringLiteral("/Tavelin")},
        {QStringLiteral("/"), QStringLiteral("/Tavelin")},
        {QString(), QStringLiteral("/Tavelin")}, // cancelled: unchanged
    };
    for (const TCase& c : cases) {
        QString title;
        AnswerFolderChooser(c.Chosen, title);
        QTest::mouseClick(w->btnChangeInstall, Qt::LeftButton);
        EXPECT_EQ(title, QStringLiteral("请选择软件安装目录"));
        EXPECT_EQ(w->edtPath->text(), c.Expected) << c.Chosen.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(apps + QStringLiteral("/Tavelin"))) << "nothing is created";
}

TEST_F(WindowActionsTest, ToggleExpandsAndCollapsesAndMinimizeLinkMinimizes) {
    auto w = shown(installer());
    ASSERT_EQ(w->height(), TFrmCommInstLayout::cnCollapsedHeight);
    ASSERT_TRUE(w->imgDown->isVisible());
    ASSERT_FALSE(w->imgUp->isVisible());
    w->edtPath->selectAll();
    QTest::mouseClick(w->imgDown, Qt::LeftButton);
    EXPECT_EQ(w->height(), TFrmCommInstLayout::cnExpandedHeight);
    EXPECT_TRUE(w->imgUp->isVisible());
    EXPECT_FALSE(w->imgDown->isVisible());
    EXPECT_FALSE(w->edtPath->hasSelectedText());
    QTest::mouseClick(w->imgUp, Qt::LeftButton);
    EXPECT_EQ(w->height(), TFrmCommInstLayout::cnCollapsedHeight);
    EXPECT_TRUE(w->imgDown->isVisible());
    EXPECT_FALSE(w->imgUp->isVisible());

    w->lblMinimizeClick(nullptr);
    EXPECT_FALSE(w->isMinimized()) << "the minimize is posted, not done at once";
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->isMinimized(); }, 5000));
}

} // namespace
