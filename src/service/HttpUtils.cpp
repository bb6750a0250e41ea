// HTTP exchanges on libcurl: a fresh handle per exchange (no reuse, no cookies, no proxy), and
// worker threads that hand their completion step to the main thread and may outlive it.
#include "service/HttpUtils.h"

#include "config/TextUtils.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <openssl/crypto.h>
#include <string>
#include <string_view>
#include <thread>

namespace {

// A worker may still be inside a TLS exchange when the process exits; OpenSSL's exit handler
// would free its state under that thread, so the library keeps it until the process is gone.
[[maybe_unused]] const bool gOpenSslKeptAtExit =
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

// What the worker threads share with the main thread. Never destroyed: a worker can still be
// running while the process exits.
struct TThreadState {
    std::mutex Lock;
    std::condition_variable Changed;
    int Running = 0;
    int InFinish = 0; // workers between taking App and returning from the blocking invocation
    QCoreApplication* App = nullptr;
};

TThreadState& ThreadState() {
    static TThreadState* const state = new TThreadState;
    return *state;
}

// Runs as the application object is destroyed: no completion step starts any more, and those
// already handed over are dropped, which releases their waiting workers.
void StopCompletions() {
    TThreadState& state = ThreadState();
    std::unique_lock lock(state.Lock);
    QCoreApplication* app = state.App;
    state.App = nullptr;
    while (state.InFinish > 0) {
        lock.unlock();
        if (app)
            QCoreApplication::removePostedEvents(app, QEvent::MetaCall);
        lock.lock();
        state.Changed.wait_for(lock, std::chrono::milliseconds(5),
                               [&] { return state.InFinish == 0; });
    }
}

// Completion steps go to the application object of the thread that starts the workers, once it
// is known to be the main thread.
void AttachToApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    TThreadState& state = ThreadState();
    std::lock_guard lock(state.Lock);
    if (state.App == app)
        return;
    state.App = app;
    qAddPostRoutine(StopCompletions);
}

void ThreadFinished() {
    TThreadState& state = ThreadState();
    {
        std::lock_guard lock(state.Lock);
        --state.Running;
    }
    state.Changed.notify_all();
}

struct TBody {
    std::string Data;
};

size_t WriteBody(char* data, size_t size, size_t count, void* userData) {
    auto* body = static_cast<TBody*>(userData);
    const size_t bytes = size * count;
    if (static_cast<long long>(body->Data.size() + bytes) > HttpMaxBodyBytes)
        return 0; // aborts the transfer
    body->Data.append(data, bytes);
    return bytes;
}

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

QString DropLeadingAmpersand(const QString& params) {
    return params.startsWith(u'&') ? params.mid(1) : params;
}

std::string Escape(CURL* curl, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    char* escaped = curl_easy_escape(curl, utf8.constData(), static_cast<int>(utf8.size()));
    if (!escaped)
        return {};
    std::string result(escaped);
    curl_free(escaped);
    return result;
}

// The form body of a POST: the name=value items, names and values percent-encoded.
std::string FormBody(CURL* curl, const QString& params) {
    QStringList items;
    SplitToList(items, DropLeadingAmpersand(params), u'&');
    std::string body;
    for (const QString& item : items) {
        if (!body.empty())
            body += '&';
        const qsizetype equals = item.indexOf(u'=');
        if (equals < 0) {
            body += Escape(curl, item);
        } else {
            body += Escape(curl, item.left(equals)) + '=' + Escape(curl, item.mid(equals + 1));
        }
    }
    return body;
}

} // namespace

void HttpGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void TOnFinishEvent::operator()(THttpThread* Sender, const QString& respData,
                                bool HttpSuccess) const {
    if (!FMethod || (FGuarded && !FContext))
        return;
    FMethod(Sender, respData, HttpSuccess);
}

bool HttpRequest(const QString& url, const QString& params, int httpMethod, QString& respData,
                 int timeout, int stallSeconds) {
    Q_UNUSED(timeout); // the connect limit below is fixed
    respData.clear();
    try {
        HttpGlobalInit();
        std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
        if (!curl)
            return false;
        CURL* handle = curl.get();

        std::string address;
        std::string form;
        if (httpMethod == HttpMethodGet) {
            QString target = url;
            if (!HasSubStr(QStringLiteral("?"), target))
                target += u'?';
            target += DropLeadingAmpersand(params);
            address = target.toStdString();
            // libcurl picks TLS from the scheme, in any letter case, as "https" addresses need.
            curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
        } else {
            address = url.toStdString();
            form = FormBody(handle, params);
            curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
            curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, form.c_str());
        }

        std::unique_ptr<curl_slist, TCurlDeleter> headers(
            curl_slist_append(nullptr, "Accept: application/json"));
        TBody body;
        curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(handle, CURLOPT_USERAGENT, "oneclick-setup");
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(HttpConnectTimeoutMs));
        if (stallSeconds > 0) {
            curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, HttpLowSpeedBytes);
            curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stallSeconds));
        }
        curl_easy_setopt(handle, CURLOPT_PROXY,
                         ""); // connect directly, whatever the environment says
        curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L); // several threads; no SIGALRM
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);

        if (curl_easy_perform(handle) != CURLE_OK)
            return false;
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299)
            return false;
        respData = QString::fromUtf8(body.Data.data(), static_cast<qsizetype>(body.Data.size()));
        return true;
    } catch (...) {
        respData.clear();
        return false;
    }
}

THttpThread::THttpThread([[maybe_unused]] bool CreateSuspended, const THttpData& HttpData)
    : FHttpData(HttpData) {}

THttpThread::~THttpThread() = default;

void THttpThread::Start() {
    AttachToApplication();
    TThreadState& state = ThreadState();
    {
        std::lock_guard lock(state.Lock);
        ++state.Running;
    }
    try {
        std::thread([this] {
            try {
                Execute();
            } catch (...) {
            }
            delete this;
            ThreadFinished();
        }).detach();
    } catch (...) {
        delete this;
        ThreadFinished();
    }
}

void THttpThread::Execute() {
    FHttpSuccess = HttpRequest(FHttpData.url, FHttpData.params, FHttpData.httpMethod, FRespData,
                               FHttpData.timeout, FHttpData.stallSeconds);
    synchronizeFinish();
}

// Hands DoFinish to the main thread and waits until it has run there; skipped once the
// application object is gone.
void THttpThread::synchronizeFinish() {
    if (!FOnFinish)
        return;
    TThreadState& state = ThreadState();
    QCoreApplication* app = nullptr;
    {
        std::lock_guard lock(state.Lock);
        app = state.App;
        if (!app)
            return;
        ++state.InFinish;
    }
    QMetaObject::invokeMethod(
        app, [this] { DoFinish(); }, Qt::BlockingQueuedConnection);
    {
        std::lock_guard lock(state.Lock);
        --state.InFinish;
    }
    state.Changed.notify_all();
}

void THttpThread::DoFinish() {
    if (FOnFinish)
        FOnFinish(this, FRespData, FHttpSuccess);
}

void HttpRequestAsync(const QString& url, const QString& params, int httpMethod,
                      TOnFinishEvent OnFinish, int timeout, int stallSeconds) {
    THttpData data;
    data.url = url;
    data.params = params;
    data.httpMethod = httpMethod;
    data.timeout = timeout;
    data.stallSeconds = stallSeconds;
    auto* thread = new THttpThread(true, data);
    thread->SetOnFinish(std::move(OnFinish));
    thread->Start();
}

namespace {

bool HttpExchange(const QString& url, const QString& params, int httpMethod, QString& respData,
                  bool byThread, int stallSeconds) {
    const int timeout = 5000;
    if (byThread) {
        HttpRequestAsync(url, params, httpMethod, TOnFinishEvent(), timeout, stallSeconds);
        return true;
    }
    return HttpRequest(url, params, httpMethod, respData, timeout, stallSeconds);
}

} // namespace

bool HttpGet(const QString& url, const QString& params, QString& respData, bool byThread,
             int stallSeconds) {
    return HttpExchange(url, params, HttpMethodGet, respData, byThread, stallSeconds);
}

bool HttpPost(const QString& url, const QString& params, QString& respData, bool byThread,
              int stallSeconds) {
    return HttpExchange(url, params, HttpMethodPost, respData, byThread, stallSeconds);
}

bool WaitForHttpThreads(int TimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    TThreadState& state = ThreadState();
    QCoreApplication* app = QCoreApplication::instance();
    const bool onMainThread = app && QThread::currentThread() == app->thread();
    std::unique_lock lock(state.Lock);
    while (state.Running > 0) {
        if (onMainThread) {
            // Workers waiting for their completion step need the main thread to run it.
            lock.unlock();
            QCoreApplication::sendPostedEvents(app, QEvent::MetaCall);
            lock.lock();
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return state.Running == 0;
        state.Changed.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                         deadline - now, std::chrono::milliseconds(10)));
    }
    return true;
}

int RunningHttpThreads() {
    TThreadState& state = ThreadState();
    std::lock_guard lock(state.Lock);
    return state.Running;
}

QString EncodeQueryValue(const QString& Value) {
    // Unreserved characters and the delimiters that carry no meaning inside a query value.
    static constexpr std::string_view Plain = "-._~!$'()*,;:@/?";
    static constexpr char Hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = Value.toUtf8();
    QString result;
    result.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        const bool alnum = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9');
        if (alnum || (byte != 0 && Plain.find(c) != std::string_view::npos)) {
            result += QLatin1Char(c);
        } else {
            result += u'%';
            result += QLatin1Char(Hex[byte >> 4]);
            result += QLatin1Char(Hex[byte & 0x0F]);
        }
    }
    return result;
}
