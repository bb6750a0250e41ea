// A loopback HTTP(S) server for tests: listens on 127.0.0.1 at a free port, records every request
// it receives (method, path, query and form items in order, headers, body) and answers through
// handlers a test sets per path. It stops itself when it goes out of scope.
#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using TNameValues = std::vector<std::pair<std::string, std::string>>;

struct TRecordedRequest {
    std::string Method;
    std::string Path;     // without the query, percent-decoded
    std::string Target;   // the request target exactly as it came on the wire
    std::string RawQuery; // the text after the first "?", undecoded; empty without one
    bool HasQueryMark = false;
    TNameValues Query; // in order, percent-decoded ("+" stays "+")
    TNameValues Form;  // items of an application/x-www-form-urlencoded body, decoded
    TNameValues Headers;
    std::string Body;

    // Case-insensitive header look-up; empty when absent.
    std::string Header(const std::string& Name) const;
    // The first query item of that name; empty when absent.
    std::string QueryValue(const std::string& Name) const;
};

struct TLoopbackResponse {
    int Status = 200;
    std::string Body;
    std::string ContentType = "application/json";
    TNameValues Headers;
    // Accept the request, then send nothing for this long (or until the server stops).
    int StallMs = 0;
};

using TLoopbackHandler = std::function<TLoopbackResponse(const TRecordedRequest&)>;

class TLoopbackServer {
public:
    enum class TScheme { Http, Https };

    // Https serves a fresh self-signed certificate for 127.0.0.1, trusted by nobody.
    explicit TLoopbackServer(TScheme Scheme = TScheme::Http);
    ~TLoopbackServer();
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;

    int Port() const;
    // "http://127.0.0.1:<port>/" (or https), with the trailing slash.
    QString BaseUrl() const;
    // BaseUrl() followed by Path (given without a leading slash).
    QString Url(const QString& Path) const;

    // Answers requests for exactly this path (any method). Unknown paths get 404.
    void Handle(const std::string& Path, TLoopbackHandler Handler);
    // A fixed answer for a path.
    void Reply(const std::string& Path, int Status, const std::string& Body);

    std::vector<TRecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    // Waits until at least Count requests have been recorded; false when TimeoutMs passes first.
    bool WaitForRequests(std::size_t Count, int TimeoutMs) const;
    void ClearRequests();

    // Stops listening and releases stalled answers; the destructor calls it.
    void Stop();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// How a faulty server breaks an answer's body.
enum class TBodyFault {
    None,                // the whole body as announced, then an orderly close
    ResetMidBody,        // half the body, then a connection reset instead of a close
    CloseEarly,          // the whole body's length announced, half of it sent, then a close
    LongerThanAnnounced, // half the body's length announced, the whole body sent
    Drip,                // the whole body announced, one byte every DripMs
    Silent,              // the request taken, then nothing at all until the server stops
};

struct TFaultyAnswer {
    int Status = 200;
    std::string Body;
    std::string ContentType = "application/octet-stream";
    TBodyFault Fault = TBodyFault::None;
    int DripMs = 1000;
};

// A loopback HTTP server that writes its answers itself, byte by byte, so that it can break
// them in ways a well-behaved server library will not. Every request, whatever its path, gets
// the same answer, on a thread of its own; stopping ends dripping answers at once.
class TFaultyServer {
public:
    explicit TFaultyServer(TFaultyAnswer Answer);
    ~TFaultyServer();
    TFaultyServer(const TFaultyServer&) = delete;
    TFaultyServer& operator=(const TFaultyServer&) = delete;

    // "http://127.0.0.1:<port>/" followed by Path.
    QString Url(const QString& Path) const;
    // Requests whose head arrived completely.
    std::size_t RequestCount() const;
    void Stop();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// Size bytes from a generator seeded with Seed: a body no answer would be by chance, the same
// on every run.
std::string NoiseBytes(std::size_t Size, unsigned Seed);

// Runs the main thread's event loop until Done holds (checked every few milliseconds) or LimitMs
// passes, so threaded work that needs the main thread can finish; the final Done().
bool RunEventLoopUntil(const std::function<bool()>& Done, int LimitMs = 20000);

// Percent-decodes text; with PlusIsSpace (form bodies) "+" becomes a space.
std::string PercentDecode(const std::string& Text, bool PlusIsSpace);
