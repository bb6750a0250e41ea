// Base addresses of the maker's service and support site, from the installer's own resources.
#include "resources/BaseUrls.h"

#include "resources/Resources.h"

namespace {
QString fromResource(const QString& name, const QString& fallback) {
    QString url;
    try {
        if (ResourceExists(name, cnResTypeFile))
            url = QString::fromUtf8(LoadResourceBytes(name, cnResTypeFile)).trimmed();
    } catch (const Exception&) {
        url.clear();
    }
    while (url.endsWith(u'/'))
        url.chop(1);
    return url.isEmpty() ? fallback : url;
}
} // namespace

// Addresses that can never resolve: a build without its maker's URLs fails fast and quietly.
QString DefaultServiceBaseUrl() {
    return QStringLiteral("https://service.oneclick.invalid");
}
QString DefaultSupportBaseUrl() {
    return QStringLiteral("https://support.oneclick.invalid");
}

QString ServiceBaseUrl() {
    return fromResource(QStringLiteral("serviceurl"), DefaultServiceBaseUrl());
}
QString SupportBaseUrl() {
    return fromResource(QStringLiteral("supporturl"), DefaultSupportBaseUrl());
}
