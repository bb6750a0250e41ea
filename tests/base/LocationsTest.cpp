#include "base/Locations.h"
#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"

#include <QFileInfo>

class LocationsTest : public TIsolatedTest {};

TEST_F(LocationsTest, FollowTheEnvironment) {
    EXPECT_EQ(HomeDir(), FEnv.Home());
    EXPECT_EQ(XdgConfigHome(), FEnv.ConfigHome());
    EXPECT_EQ(XdgDataHome(), FEnv.DataHome());
    EXPECT_EQ(SystemPath("/var/lib/oneclick"), FEnv.SystemRoot() + "/var/lib/oneclick");
}

TEST_F(LocationsTest, FallBackToHomeWhenXdgIsUnsetOrRelative) {
    FEnv.Set("XDG_CONFIG_HOME", "");
    FEnv.Set("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(XdgConfigHome(), FEnv.Home() + "/.config");
    EXPECT_EQ(XdgDataHome(), FEnv.Home() + "/.local/share");
}

TEST_F(LocationsTest, SystemRootDefaultsToSlash) {
    FEnv.Set("ONECLICK_SYSTEM_ROOT", "");
    EXPECT_EQ(SystemRoot(), "/");
    EXPECT_EQ(SystemPath("/etc/x"), "/etc/x");
}

TEST(RunningExeTest, IsThisBinaryUnlessPointedElsewhere) {
    EXPECT_EQ(QFileInfo(RunningExePath()).fileName(), "test_base");
    SetRunningExePath("/tmp/setup_abc.exe");
    EXPECT_EQ(RunningExePath(), "/tmp/setup_abc.exe");
    SetRunningExePath({});
    EXPECT_EQ(QFileInfo(RunningExePath()).fileName(), "test_base");
}
