// The maker's support pages for the product, opened in the user's web browser; the install
// pipeline sends the user to the install-error page when an install fails.
#pragma once

#include <QString>

class TWebsiteRedirect {
public:
    TWebsiteRedirect(const QString& softId, const QString& FromSource, const QString& Guid);
    virtual ~TWebsiteRedirect() = default;

    void openInstallError_CustomerService();
    void openCustomerService();
    void OpenContactPage();
    void openTutorial();

    // The address of the page named by act, for this product.
    QString PageUrl(const QString& act) const;

private:
    void openPage(const QString& act);

    QString FSoftId;
    QString FFromSource;
    QString FGuid;
};
