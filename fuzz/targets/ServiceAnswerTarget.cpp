// The service's answer: the body of a package-address request, read as the client reads it.
#include "FuzzTargets.h"

#include "service/API.h"

int FuzzServiceAnswer(const std::uint8_t* Data, std::size_t Size) {
    const QString body = FuzzUtf8(Data, Size);
    nlohmann::json data;
    int code = 0;
    (void)TAPI::getJsonObject(body, data, code);
    QString url;
    QString ver;
    QString sha256;
    if (ParseSoftDownloadInfo(body, url, ver, sha256) &&
        (!TAPI::getJsonObject(body, data, code) || code != 0 || !data.is_object()))
        FuzzFail("an answer without code 0 and a data object gave a package address");
    return 0;
}
