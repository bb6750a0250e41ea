// Shared pieces of the session tests: an installer file made in the test (a stand-in program
// with the resources appended), an encrypted product package, a fake browser that records the
// pages it is asked to open, and a hand that answers modal dialogs by clicking their buttons.
#pragma once

#include "resources/ResourceContainer.h"
#include "base/RunningExe.h"
#include "service/HttpUtils.h"
#include "session/UntMain.h"
#include "testsupport/LoopbackServer.h"
#include "testsupport/TestEnv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>
#include <zip.h>

inline const char* const cnTestPackagePassword = "583920";

// What the user reads when an install fails, and the network question.
inline const QString cnInstallFailed =
    QStringLiteral("安装失败，请联系官网客服协助处理。即将打开客服窗口！");
inline const QString cnUnzipFailed =
    QStringLiteral("文件解压失败，可能是被杀毒软件拦截导致，建议退出杀毒软件后重试！");
inline const QString cnNetQuestion = QStringLiteral("网络连接异常，是否尝试重连？");

// The demo product's configuration with a few values changed.
inline nlohmann::json DemoConfig() {
    QFile file(SourceDir() + QStringLiteral("/resources/config.json"));
    if (!file.open(QIODevice::ReadOnly))
        return nlohmann::json::object();
    return nlohmann::json::parse(file.readAll().toStdString());
}

// A zip archive of Entries (name, bytes) encrypted with the package password.
inline QByteArray MakePackage(const QString& Path,
                              const std::vector<std::pair<std::string, QByteArray>>& Entries) {
    int error = 0;
    zip_t* archive = zip_open(Path.toLocal8Bit().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return {};
    for (const auto& [name, data] : Entries) {
        zip_source_t* source = zip_source_buffer(archive, data.constData(), data.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
        zip_file_set_encryption(archive, index, ZIP_EM_TRAD_PKWARE, cnTestPackagePassword);
        zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, 0100755u << 16);
    }
    zip_close(archive);
    return ReadTestFile(Path);
}

// The demo main program: leaves its arguments, one a line, in ~/.quintel-demo-started.
inline QByteArray DemoMainProgram() {
    return ReadTestFile(SourceDir() + QStringLiteral("/resources/package/common/quintel_win.exe"));
}

struct TInstallerSpec {
    nlohmann::json Config = DemoConfig();
    QByteArray Package; // empty: a web installer
    QString ServiceUrl;
    QString SupportUrl;
};

// Writes the installer under Dir/FileName and makes it the running executable.
inline QString MakeInstaller(const QString& Dir, const QString& FileName,
                             const TInstallerSpec& Spec) {
    const QString program = Dir + QStringLiteral("/program.bin");
    WriteTestFile(program, QByteArray("#!/bin/sh\nexit 0\n"));
    const QString path = Dir + u'/' + FileName;
    TResourceWriter writer(program, path);
    // A null configuration stands for an empty "configfile".
    writer.AddBytes(QStringLiteral("configfile"), QStringLiteral("file"),
                    Spec.Config.is_null() ? QByteArray()
                                          : QByteArray::fromStdString(Spec.Config.dump()));
    if (!Spec.Package.isEmpty())
        writer.AddBytes(QStringLiteral("zipfile"), QStringLiteral("file"), Spec.Package);
    if (!Spec.ServiceUrl.isEmpty())
        writer.AddBytes(QStringLiteral("serviceurl"), QStringLiteral("file"),
                        Spec.ServiceUrl.toUtf8());
    if (!Spec.SupportUrl.isEmpty())
        writer.AddBytes(QStringLiteral("supporturl"), QStringLiteral("file"),
                        Spec.SupportUrl.toUtf8());
    writer.Finish();
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    SetRunningExePath(path);
    return path;
}

// A fake xdg-open first on PATH; every page it is asked to open is one line of Log().
class TFakeBrowser {
public:
    explicit TFakeBrowser(TTempEnvironment& Env) : FDir(Env.Root() + QStringLiteral("/bin")) {
        WriteTestFile(
            FDir + QStringLiteral("/xdg-open"),
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(Log()).toUtf8());
        QFile::setPermissions(FDir + QStringLiteral("/xdg-open"), QFileDevice::ReadOwner |
                                                                      QFileDevice::WriteOwner |
                                                                      QFileDevice::ExeOwner);
        Env.Set("PATH", FDir + QStringLiteral(":/usr/bin:/bin"));
    }
    QString Log() const { return FDir + QStringLiteral("/opened.log"); }
    // The pages opened so far (the opener runs detached: waits a bounded time for Count).
    QStringList Pages(int Count = 0) const {
        for (int i = 0; i < 100; ++i) {
            QFile f(Log());
            QStringList lines;
            if (f.open(QIODevice::ReadOnly))
                lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
            if (lines.size() >= Count)
                return lines;
            QThread::msleep(50);
        }
        return {};
    }

private:
    QString FDir;
};

// Answers modal dialogs as they appear: each answer names the button caption to click; the
// texts of the dialogs seen are kept in order.
class TDialogHand {
public:
    explicit TDialogHand(std::vector<QString> Answers) : FAnswers(std::move(Answers)) {
        FTimer.setInterval(30);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { poll(); });
        FTimer.start();
    }
    const QStringList& Seen() const { return FSeen; }
    // Runs as each dialog is first seen, before it is answered.
    std::function<void()> OnDialog;

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == FLast)
            return;
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            text = box->text();
        else
            for (QLabel* label : modal->findChildren<QLabel*>())
                if (label->objectName() == QStringLiteral("lblMsg"))
                    text = label->text();
        FSeen << text;
        if (OnDialog)
            OnDialog();
        const QString caption =
            FNext < FAnswers.size() ? FAnswers[FNext++] : QStringLiteral("确定");
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text() == caption || button->text().remove(u'&') == caption) {
                FLast = modal;
                button->click();
                return;
            }
        }
        // The branded dialogs' picture buttons carry their text as "Caption".
        for (QWidget* w : modal->findChildren<QWidget*>()) {
            const QVariant c = w->property("Caption");
            if (c.isValid() && c.toString() == caption && w->isVisible()) {
                FLast = modal;
                QTest::mouseClick(w, Qt::LeftButton);
                return;
            }
        }
        FLast = modal;
        modal->close();
    }

    QTimer FTimer;
    std::vector<QString> FAnswers;
    std::size_t FNext = 0;
    QStringList FSeen;
    QPointer<QWidget> FLast;
};

// The base of the session tests: a loopback service the installer talks to, a browser that only
// notes pages, and the installer made in the test's work folder.
class TInstallerTest : public TIsolatedTest {
protected:
    TLoopbackServer FServer;
    TFakeBrowser FBrowser{FEnv};
    QString FWork = FEnv.Root() + QStringLiteral("/work");
    TInstallerSpec FSpec;

    void SetUp() override {
        QDir().mkpath(FWork);
        FSpec.ServiceUrl = FServer.BaseUrl().chopped(1);
        FSpec.SupportUrl = FServer.BaseUrl().chopped(1);
    }
    void TearDown() override {
        WaitForHttpThreads(5000);
        QCoreApplication::processEvents(); // a queued quit goes with this test
        SetRunningExePath(QString());
    }
    std::unique_ptr<TFrmCommInst> start(const QString& FileName = QStringLiteral("setup.exe"),
                                        const QStringList& Args = {}) {
        MakeInstaller(FWork, FileName, FSpec);
        return CreateForm<TFrmCommInst>(Args);
    }
    std::vector<TRecordedRequest> requestsTo(const std::string& Path) const {
        std::vector<TRecordedRequest> found;
        for (const TRecordedRequest& r : FServer.Requests())
            if (r.Path == Path)
                found.push_back(r);
        return found;
    }
};
