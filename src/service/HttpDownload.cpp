// The package download on libcurl: the body streamed into the caller's file, libcurl's
// progress turned into work events, the body's SHA-256 taken on the way; and the SHA-256 of a
// file, both on OpenSSL EVP.
#include "service/HttpDownload.h"

#include "service/HttpUtils.h"

#include <QFile>
#include <atomic>
#include <curl/curl.h>
#include <memory>
#include <openssl/evp.h>

namespace {

// A running SHA-256; Hex() is empty when OpenSSL failed at any step.
class TSha256 {
public:
    TSha256() : FCtx(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
        FOk = FCtx && EVP_DigestInit_ex(FCtx.get(), EVP_sha256(), nullptr) == 1;
    }
    void Update(const void* Data, size_t Size) {
        FOk = FOk && EVP_DigestUpdate(FCtx.get(), Data, Size) == 1;
    }
    QString Hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!FOk || EVP_DigestFinal_ex(FCtx.get(), digest, &length) != 1)
            return {};
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(length)).toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> FCtx;
    bool FOk = false;
};

struct TTransfer {
    THttpDownload* Client = nullptr;
    QFile* Target = nullptr;
    bool Begun = false;
    qint64 Announced = -1;
    qint64 LastCount = -1;
    bool Failed = false; // a write or a work event failed
    QString Error;
    TSha256 Body;
};

size_t WriteToFile(char* Data, size_t Size, size_t Count, void* User) {
    auto* t = static_cast<TTransfer*>(User);
    const qint64 bytes = static_cast<qint64>(Size * Count);
    if (t->Target->write(Data, bytes) != bytes) {
        t->Failed = true;
        t->Error = QStringLiteral("write failed");
        return 0;
    }
    t->Body.Update(Data, Size * Count);
    return Size * Count;
}

// libcurl's progress: the first call with a known size (or the first data) is the work begin;
// every change of the received count is one work event. An exception in a handler aborts.
int OnProgress(void* User, curl_off_t DlTotal, curl_off_t DlNow, curl_off_t, curl_off_t) {
    auto* t = static_cast<TTransfer*>(User);
    try {
        if (!t->Begun && (DlTotal > 0 || DlNow > 0)) {
            t->Begun = true;
            t->Announced = DlTotal;
            if (t->Client->OnWorkBegin)
                t->Client->OnWorkBegin(wmRead, static_cast<qint64>(DlTotal));
        }
        if (t->Begun && DlNow != t->LastCount) {
            t->LastCount = DlNow;
            if (t->Client->OnWork)
                t->Client->OnWork(wmRead, static_cast<qint64>(DlNow));
        }
    } catch (...) {
        t->Failed = true;
        t->Error = QStringLiteral("work handler failed");
        return 1;
    }
    return 0;
}

std::atomic<long> gDefaultLowSpeedBytes{DownloadLowSpeedBytes};
std::atomic<int> gDefaultLowSpeedSeconds{DownloadLowSpeedSeconds};

struct TCurlFree {
    void operator()(CURL* C) const { curl_easy_cleanup(C); }
};

} // namespace

TLowSpeedLimit THttpDownload::DefaultLowSpeedLimit() {
    return {gDefaultLowSpeedBytes.load(), gDefaultLowSpeedSeconds.load()};
}

void THttpDownload::SetDefaultLowSpeedLimit(const TLowSpeedLimit& Limit) {
    gDefaultLowSpeedBytes = Limit.BytesPerSecond;
    gDefaultLowSpeedSeconds = Limit.Seconds;
}

bool THttpDownload::Get(const QString& url, QFile& Target) {
    FResponseCode = 0;
    FLastError.clear();
    FBodySha256Hex.clear();
    HttpGlobalInit();
    std::unique_ptr<CURL, TCurlFree> curl(curl_easy_init());
    if (!curl) {
        FLastError = QStringLiteral("no transfer handle");
        return false;
    }
    CURL* h = curl.get();
    TTransfer t;
    t.Client = this;
    t.Target = &Target;
    const std::string address = url.toStdString();
    curl_easy_setopt(h, CURLOPT_URL, address.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "oneclick-setup");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, HandleRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeoutMs));
    // libcurl's check also runs while no answer has come yet, so a silent server is covered.
    if (LowSpeed.Seconds > 0 && LowSpeed.BytesPerSecond > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, LowSpeed.BytesPerSecond);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(LowSpeed.Seconds));
    }
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // Bigger blocks than libcurl's 16 KiB: fewer calls into the file and the hash per byte.
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);

    const CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    FResponseCode = static_cast<int>(status);
    // The last buffered block reaches the file only here: a full disk may show only now.
    if (!Target.flush() && !t.Failed) {
        t.Failed = true;
        t.Error = QStringLiteral("write failed");
    }
    if (OnWorkEnd)
        OnWorkEnd(wmRead);
    if (t.Failed) {
        FLastError = t.Error;
        return false;
    }
    if (rc != CURLE_OK) {
        FLastError = QString::fromUtf8(curl_easy_strerror(rc));
        return false;
    }
    if (status < 200 || status > 299) {
        FLastError = QStringLiteral("HTTP status %1").arg(status);
        return false;
    }
    FBodySha256Hex = t.Body.Hex();
    return true;
}

QString FileSha256Hex(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    TSha256 hash;
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        hash.Update(block.constData(), static_cast<size_t>(n));
    }
    return hash.Hex();
}
