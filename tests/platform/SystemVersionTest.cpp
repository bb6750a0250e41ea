// The version test lets the installer run here, and the firewall step changes nothing on disk.
#include "platform/SystemVersion.h"
#include "platform/Firewall.h"
#include "testsupport/TestEnv.h"

#include <QDirIterator>

namespace {

class SystemVersionTest : public TIsolatedTest {
protected:
    QStringList everything() const {
        QStringList all;
        QDirIterator it(FEnv.Root(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            all << it.next();
        all.sort();
        return all;
    }
};

} // namespace

TEST_F(SystemVersionTest, CountsAsVistaOrLater) {
    EXPECT_TRUE(IsWinVistaOrLater());
}

TEST_F(SystemVersionTest, AddingTheFirewallRuleTouchesNothing) {
    const QStringList before = everything();
    AddFirewallRule();
    AddFirewallRule();
    EXPECT_EQ(everything(), before);
}
