// Support pages open in the browser at the support site's "t.php" with the page and the
// product id in the query.
#include "support/WebsiteRedirect.h"
#include "resources/BaseUrls.h"
#include "platform/ProcessTestSupport.h"

namespace {

class WebsiteRedirectTest : public TIsolatedTest {};

} // namespace

TEST_F(WebsiteRedirectTest, EachPageOpensItsAddress) {
    TOpenerStandIn opener(FEnv);
    const QString base = SupportBaseUrl() + QStringLiteral("/t.php");
    ASSERT_TRUE(base.startsWith(QLatin1String("http")));
    const struct {
        const char* Name;
        QString SoftId;
        void (TWebsiteRedirect::*Open)();
        QString Url;
    } cases[] = {
        {"install error", QStringLiteral("quintelzip_win"),
         &TWebsiteRedirect::openInstallError_CustomerService,
         base + QStringLiteral("?act=insterr_cs&name=quintelzip_win")},
        {"customer service", QStringLiteral("quintelzip_win"),
         &TWebsiteRedirect::openCustomerService,
         base + QStringLiteral("?act=chatwithus&name=quintelzip_win")},
        {"contact page is the same", QStringLiteral("quintelzip_win"),
         &TWebsiteRedirect::OpenContactPage,
         base + QStringLiteral("?act=chatwithus&name=quintelzip_win")},
        {"tutorial", QStringLiteral("quintelzip_win"), &TWebsiteRedirect::openTutorial,
         base + QStringLiteral("?act=tutorial&name=quintelzip_win")},
        {"id as it is", QStringLiteral("a b&c=d"), &TWebsiteRedirect::openTutorial,
         base + QStringLiteral("?act=tutorial&name=a b&c=d")},
        {"empty id", QString(), &TWebsiteRedirect::openInstallError_CustomerService,
         base + QStringLiteral("?act=insterr_cs&name=")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWebsiteRedirect redirect(c.SoftId, QStringLiteral("src"), QStringLiteral("guid"));
        (redirect.*c.Open)();
        EXPECT_EQ(opener.TakeArguments(), QStringList{c.Url});
    }
}

TEST_F(WebsiteRedirectTest, NoBrowserIsNoError) {
    FEnv.Set("PATH", FEnv.Root() + QStringLiteral("/empty-bin"));
    TWebsiteRedirect redirect(QStringLiteral("quintelzip_win"), {}, {});
    redirect.openInstallError_CustomerService();
    EXPECT_EQ(redirect.PageUrl(QStringLiteral("tutorial")),
              SupportBaseUrl() + QStringLiteral("/t.php?act=tutorial&name=quintelzip_win"));
}
