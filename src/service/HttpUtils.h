// Small HTTP exchanges with the maker's service: one blocking request on the caller's thread, or
// the same request on a short-lived worker thread whose completion step runs on the main thread.
// Every failure is a false result with an empty body; nothing here raises.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

constexpr int HttpMethodGet = 1;
constexpr int HttpMethodPost = 2;

// The connect limit every exchange applies, whatever a caller passes as its time-out.
constexpr int HttpConnectTimeoutMs = 5000;
// An exchange that moves less than HttpLowSpeedBytes per second for HttpStallSeconds in a row is
// given up, so a service that accepts the connection and then stalls, or drips its answer a
// byte at a time, cannot hold the window for ever. Answers are a few hundred bytes, sent at once.
constexpr int HttpStallSeconds = 30;
constexpr long HttpLowSpeedBytes = 1024;
// Service answers are small JSON documents; a larger body is refused rather than held in memory.
constexpr long long HttpMaxBodyBytes = 16LL * 1024 * 1024;

struct THttpData {
    QString url;    // without the query part for GET, the full address for POST
    QString params; // name=value pairs joined by "&"
    int httpMethod = HttpMethodGet;
    int timeout = 5000; // carried for the callers; the connect limit is fixed
    int stallSeconds = HttpStallSeconds;
};

class THttpThread;

// The completion callback: a method bound to an object. When the object is a QObject that has
// been destroyed by the time the exchange ends, the call is skipped.
class TOnFinishEvent {
public:
    using TMethod =
        std::function<void(THttpThread* Sender, const QString& respData, bool HttpSuccess)>;

    TOnFinishEvent() = default;
    TOnFinishEvent(QObject* Context, TMethod Method)
        : FContext(Context), FGuarded(Context != nullptr), FMethod(std::move(Method)) {}
    template <class T>
    TOnFinishEvent(T* Object, void (T::*Method)(THttpThread*, const QString&, bool))
        : TOnFinishEvent(Object, [Object, Method](THttpThread* Sender, const QString& respData,
                                                  bool HttpSuccess) {
              (Object->*Method)(Sender, respData, HttpSuccess);
          }) {}

    explicit operator bool() const { return static_cast<bool>(FMethod); }
    // Main thread only.
    void operator()(THttpThread* Sender, const QString& respData, bool HttpSuccess) const;

private:
    QPointer<QObject> FContext;
    bool FGuarded = false;
    TMethod FMethod;
};

// One asynchronous exchange. It owns its copy of the request and frees itself once its body and
// completion step are done; nobody holds a reference to a started thread.
class THttpThread {
public:
    // The thread is always created suspended; Start runs it.
    THttpThread(bool CreateSuspended, const THttpData& HttpData);
    virtual ~THttpThread();
    THttpThread(const THttpThread&) = delete;
    THttpThread& operator=(const THttpThread&) = delete;

    void SetOnFinish(TOnFinishEvent OnFinish) { FOnFinish = std::move(OnFinish); }
    // Runs Execute on a new thread and returns at once; from here on the object belongs to
    // that thread, which deletes it.
    void Start();

    const THttpData& HttpData() const { return FHttpData; }
    const QString& RespData() const { return FRespData; }
    bool HttpSuccess() const { return FHttpSuccess; }

protected:
    virtual void Execute();

private:
    void DoFinish();
    void synchronizeFinish();

    THttpData FHttpData;
    QString FRespData;
    bool FHttpSuccess = false;
    TOnFinishEvent FOnFinish;
};

// Initialises libcurl once, from whichever thread comes first; every exchange calls it, and so
// should any other user of libcurl in the program before its first transfer.
void HttpGlobalInit();

// One blocking exchange; true for a final status 200..299, with the body decoded as UTF-8.
bool HttpRequest(const QString& url, const QString& params, int httpMethod, QString& respData,
                 int timeout, int stallSeconds = HttpStallSeconds);

// Starts a worker thread for the request and returns at once. The callback, when set, runs on
// the main thread while the application object exists, and is skipped after that.
void HttpRequestAsync(const QString& url, const QString& params, int httpMethod,
                      TOnFinishEvent OnFinish, int timeout, int stallSeconds = HttpStallSeconds);

// With byThread the request runs on a worker thread and the result is true at once, respData
// untouched.
bool HttpGet(const QString& url, const QString& params, QString& respData, bool byThread,
             int stallSeconds = HttpStallSeconds);
bool HttpPost(const QString& url, const QString& params, QString& respData, bool byThread,
              int stallSeconds = HttpStallSeconds);

// Called on the main thread before the program ends: waits up to TimeoutMs for the worker
// threads still running (serving their completion steps meanwhile), so a last report is not
// lost. True when none is left.
bool WaitForHttpThreads(int TimeoutMs = 2000);
int RunningHttpThreads();

// A query value as it may go on the wire: characters a query cannot carry as data (space, "&",
// "=", "#", "+", "%", non-ASCII, controls, ...) percent-encoded as UTF-8; plain values unchanged.
QString EncodeQueryValue(const QString& Value);
