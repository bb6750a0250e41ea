// The service installers talk to: the download information of a product, the package files,
// the reports, the support pages and the statistics page, over plain HTTP.
#pragma once

#include <string>

struct TServeOptions {
    std::string DbPath;
    std::string PackagesDir; // empty: the folder recorded in the database
    std::string Host = "127.0.0.1";
    int Port = 8080; // 0: any free port
};

// Reads "HOST:PORT", "[V6HOST]:PORT" or "PORT" into Options; false when it is none of them.
bool ParseListenAddress(const std::string& Text, TServeOptions& Options);

// Serves until SIGINT or SIGTERM, then stores the reports still being written and returns the
// exit status. Once it accepts connections it prints "listening on http://HOST:PORT/" to
// standard output. Throws EDistError when the database or packages folder cannot be used.
int Serve(const TServeOptions& Options);
