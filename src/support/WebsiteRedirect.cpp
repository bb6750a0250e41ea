// Support page addresses: the support site's base URL, "t.php" and a query naming the page
// and the product. The product id goes in as it is, without percent-encoding.
#include "support/WebsiteRedirect.h"

#include "resources/BaseUrls.h"
#include "platform/Process.h"

TWebsiteRedirect::TWebsiteRedirect(const QString& softId, const QString& FromSource,
                                   const QString& Guid)
    : FSoftId(softId), FFromSource(FromSource), FGuid(Guid) {}

QString TWebsiteRedirect::PageUrl(const QString& act) const {
    return SupportBaseUrl() + QStringLiteral("/t.php?act=") + act + QStringLiteral("&name=") +
           FSoftId;
}

void TWebsiteRedirect::openPage(const QString& act) {
    OpenUrlMaximized(PageUrl(act));
}

void TWebsiteRedirect::openInstallError_CustomerService() {
    openPage(QStringLiteral("insterr_cs"));
}

void TWebsiteRedirect::openCustomerService() {
    openPage(QStringLiteral("chatwithus"));
}

void TWebsiteRedirect::OpenContactPage() {
    openPage(QStringLiteral("chatwithus"));
}

void TWebsiteRedirect::openTutorial() {
    openPage(QStringLiteral("tutorial"));
}
