// Services on systemd, played by a stand-in systemctl first on PATH: it records its calls and
// answers from state files (unit known, active state, what a stop leads to). The poll pause is
// replaced, so the test records the sleeps instead of waiting them out.
#include "platform/Services.h"
#include "base/Locations.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

const char* const StandIn = R"SH(#!/bin/sh
D="$FAKE"
printf '%s\n' "$*" >> "$D/calls"
[ -e "$D/down" ] && { echo "Failed to connect to bus" >&2; exit 1; }
[ "$1" = "--user" ] && shift
cmd="$1"; shift
for a; do unit="$a"; done
case "$cmd" in
show)
  if [ -e "$D/loaded-$unit" ]; then echo LoadState=loaded; else echo LoadState=not-found; fi
  if [ -s "$D/state-$unit" ]; then
    echo "ActiveState=$(head -n 1 "$D/state-$unit")"
    if [ "$(wc -l < "$D/state-$unit")" -gt 1 ]; then
      tail -n +2 "$D/state-$unit" > "$D/next"; mv "$D/next" "$D/state-$unit"
    fi
  else echo ActiveState=inactive; fi ;;
daemon-reload)
  for f in "$UNITS"/*.service; do [ -e "$f" ] && touch "$D/loaded-${f##*/}"; done; exit 0 ;;
enable) [ -e "$D/loaded-$unit" ] || exit 1; touch "$D/enabled-$unit" ;;
disable) rm -f "$D/enabled-$unit" ;;
start)
  [ -e "$D/loaded-$unit" ] || exit 5
  [ -e "$D/start-fails" ] && exit 1
  echo active > "$D/state-$unit" ;;
stop)
  [ -e "$D/loaded-$unit" ] || exit 5
  if [ -e "$D/after-stop" ]; then cp "$D/after-stop" "$D/state-$unit"; else echo inactive > "$D/state-$unit"; fi ;;
*) exit 1 ;;
esac
)SH";

} // namespace

class ServicesTest : public TIsolatedTest {
protected:
    void SetUp() override {
        Fake = FEnv.Root() + QStringLiteral("/fake");
        Units = IsRunningAsRoot() ? FEnv.SystemRoot() + QStringLiteral("/etc/systemd/system")
                                  : FEnv.ConfigHome() + QStringLiteral("/systemd/user");
        Scope = IsRunningAsRoot() ? QString() : QStringLiteral("--user ");
        QDir().mkpath(Fake);
        const QString Bin = FEnv.Root() + QStringLiteral("/bin");
        WriteTestFile(Bin + QStringLiteral("/systemctl"), StandIn);
        QFile::setPermissions(Bin + QStringLiteral("/systemctl"),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        FEnv.Set("PATH", Bin + u':' + qEnvironmentVariable("PATH"));
        FEnv.Set("FAKE", Fake);
        FEnv.Set("UNITS", Units);
        setSystemdRunning(true);
        SetServiceSleepFunction([this](int Ms) { Sleeps << Ms; });
    }
    void TearDown() override { SetServiceSleepFunction({}); }

    void setSystemdRunning(bool Running) {
        const QString Marker = FEnv.SystemRoot() + QStringLiteral("/run/systemd/system");
        if (Running)
            QDir().mkpath(Marker);
        else
            QDir(Marker).removeRecursively();
    }
    void play(const QString& Name, const QByteArray& Data) {
        WriteTestFile(Fake + u'/' + Name, Data);
    }
    bool has(const QString& Name) const { return QFileInfo::exists(Fake + u'/' + Name); }

    // The calls made since the last look, without the scope option.
    QStringList calls() {
        QStringList Lines = QString::fromUtf8(ReadTestFile(Fake + QStringLiteral("/calls")))
                                .split(u'\n', Qt::SkipEmptyParts);
        QFile::remove(Fake + QStringLiteral("/calls"));
        for (QString& Line : Lines) {
            EXPECT_TRUE(Line.startsWith(Scope)) << Line.toStdString();
            Line.remove(0, Scope.size());
        }
        return Lines;
    }

    static QString show(const QString& Unit) {
        return QStringLiteral("show --property=LoadState,ActiveState ") + Unit;
    }

    QString Fake, Units, Scope;
    QList<int> Sleeps;
};

TEST_F(ServicesTest, WithoutSystemdEverythingAnswersFalseAndNothingRuns) {
    setSystemdRunning(false);
    play("loaded-svc.service", "");
    play("state-svc.service", "active\n");
    EXPECT_FALSE(ServiceExists("svc"));
    EXPECT_FALSE(InstallService("svc", "Svc", "/opt/svc"));
    EXPECT_FALSE(StartServiceAuto("svc"));
    EXPECT_FALSE(StopServiceWait("svc"));
    RemoveService("svc");
    EXPECT_EQ(calls(), QStringList());
    EXPECT_TRUE(Sleeps.isEmpty());
}

TEST_F(ServicesTest, AnUnreachableManagerAnswersFalseAndLeavesNoUnit) {
    play("down", "");
    EXPECT_FALSE(ServiceExists("svc"));
    EXPECT_FALSE(InstallService("svc", "Svc", "/opt/svc"));
    EXPECT_FALSE(StartServiceAuto("svc"));
    EXPECT_FALSE(StopServiceWait("svc"));
    EXPECT_FALSE(QFileInfo::exists(Units + QStringLiteral("/svc.service")));
}

TEST_F(ServicesTest, InstallWritesAUnitWithThePathAsOneWord) {
    EXPECT_FALSE(ServiceExists("svc"));
    ASSERT_TRUE(InstallService("svc", "My Service 100%", FEnv.Root() + "/My App\\svc host.exe"));
    EXPECT_EQ(ReadTestFile(Units + QStringLiteral("/svc.service")),
              "[Unit]\nDescription=My Service 100%%\n\n[Service]\nType=simple\nExecStart=\"" +
                  FEnv.Root().toUtf8() + "/My App/svc host.exe\"\n\n[Install]\nWantedBy=" +
                  (IsRunningAsRoot() ? "multi-user.target" : "default.target") + "\n");
    EXPECT_EQ(calls(), (QStringList{show("svc.service"), show("svc.service"), "daemon-reload"}));
    EXPECT_TRUE(ServiceExists("svc"));
}

TEST_F(ServicesTest, AnExistingServiceIsLeftAsItIs) {
    play("loaded-svc.service", "");
    EXPECT_TRUE(InstallService("svc", "Svc", "/opt/svc"));
    EXPECT_EQ(calls(), QStringList{show("svc.service")});
    EXPECT_FALSE(QFileInfo::exists(Units + QStringLiteral("/svc.service")));
}

TEST_F(ServicesTest, NamesAreEscapedAndAnEmptyNameIsRefused) {
    ASSERT_TRUE(InstallService("my svc/../x", "Svc", "/opt/svc"));
    EXPECT_TRUE(QFileInfo::exists(Units + QStringLiteral("/my\\x20svc\\x2f..\\x2fx.service")));
    calls();
    EXPECT_FALSE(InstallService("", "Svc", "/opt/svc"));
    EXPECT_FALSE(StartServiceAuto(""));
    EXPECT_FALSE(StopServiceWait(""));
    RemoveService("");
    EXPECT_EQ(calls(), QStringList());
}

TEST_F(ServicesTest, StartSetsAutomaticStartEvenWhenTheStartFails) {
    struct TCase {
        const char* State;
        bool StartFails;
        bool Answer;
        bool StartCalled;
    };
    const TCase Cases[] = {{"inactive\n", false, true, true},
                           {"inactive\n", true, false, true},
                           {"active\n", false, false, false}};
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.State);
        play("loaded-svc.service", "");
        play("state-svc.service", Case.State);
        QFile::remove(Fake + QStringLiteral("/start-fails"));
        QFile::remove(Fake + QStringLiteral("/enabled-svc.service"));
        if (Case.StartFails)
            play("start-fails", "");
        EXPECT_EQ(StartServiceAuto("svc"), Case.Answer);
        EXPECT_TRUE(has("enabled-svc.service"));
        QStringList Expected{show("svc.service"), "enable svc.service"};
        if (Case.StartCalled)
            Expected << "start svc.service";
        EXPECT_EQ(calls(), Expected);
    }
    EXPECT_FALSE(StartServiceAuto("unknown"));
    EXPECT_EQ(calls(), QStringList{show("unknown.service")});
}

TEST_F(ServicesTest, StopWaitPollsOncePerSecondUpToItsBound) {
    struct TCase {
        const char* Before;
        const char* AfterStop;
        bool Answer;
        int Polls; // 0: no stop request at all
    };
    const TCase Cases[] = {
        {"inactive\n", "", false, 0},
        {"failed\n", "", false, 0},
        {"active\n", "inactive\n", true, 1},
        {"active\n", "deactivating\ninactive\n", true, 2},
        {"active\n", "deactivating\ndeactivating\nfailed\n", true, 3},
        {"active\n", "active\n", false, 1},
        {"active\n", "deactivating\n", false, ServiceStopPollLimit},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(std::string(Case.Before) + Case.AfterStop);
        play("loaded-svc.service", "");
        play("state-svc.service", Case.Before);
        play("after-stop", Case.AfterStop);
        Sleeps.clear();
        EXPECT_EQ(StopServiceWait("svc"), Case.Answer);
        QStringList Expected{show("svc.service")};
        if (Case.Polls > 0)
            Expected << "stop --no-block svc.service";
        for (int I = 0; I < Case.Polls; ++I)
            Expected << show("svc.service");
        EXPECT_EQ(calls(), Expected);
        // A first pause before the first poll, then one between polls.
        EXPECT_EQ(Sleeps, QList<int>(Case.Polls, 1000));
    }
}

TEST_F(ServicesTest, StopWaitPumpsEventsWhilePolling) {
    play("loaded-svc.service", "");
    play("state-svc.service", "active\n");
    play("after-stop", "deactivating\ninactive\n");
    bool Delivered = false;
    QTimer::singleShot(0, [&] { Delivered = true; });
    EXPECT_TRUE(StopServiceWait("svc"));
    EXPECT_TRUE(Delivered);
}

TEST_F(ServicesTest, RemoveStopsDisablesAndDeletesTheUnit) {
    ASSERT_TRUE(InstallService("svc", "Svc", "/opt/svc"));
    ASSERT_TRUE(StartServiceAuto("svc"));
    calls();
    RemoveService("svc");
    EXPECT_EQ(calls(), (QStringList{show("svc.service"), "stop --no-block svc.service",
                                    "disable svc.service", "daemon-reload"}));
    EXPECT_FALSE(QFileInfo::exists(Units + QStringLiteral("/svc.service")));
    EXPECT_FALSE(has("enabled-svc.service"));

    RemoveService("never");
    EXPECT_EQ(calls(), QStringList{show("never.service")});
}
