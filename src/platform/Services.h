// The product's own system service, for products that start with the system that way: created
// with automatic start, started, stopped with a bounded wait, and removed. Every operation
// answers false (or does nothing) at once where no service manager is running.
#pragma once

#include <QString>
#include <functional>

bool ServiceExists(const QString& ServiceName);
// True when the service exists afterwards; an existing service is left as it is.
bool InstallService(const QString& ServiceName, const QString& DisplayName, const QString& ExePath);
// Sets automatic start first, whatever happens next; true when the start request was accepted
// (false for a service that is already running).
bool StartServiceAuto(const QString& ServiceName);
// Asks the service to stop and polls once a second, pumping the event queue at each poll, until
// it leaves the stop-pending state or ServiceStopPollLimit polls have passed. True when it
// stopped; false at once when it was not running.
bool StopServiceWait(const QString& ServiceName);
// Stops the service without waiting and deletes it.
void RemoveService(const QString& ServiceName);

constexpr int ServiceStopPollLimit = 30;

// The pause between the polls of StopServiceWait; a caller (a test) may replace it. An empty
// function restores the real sleep.
void SetServiceSleepFunction(std::function<void(int Milliseconds)> Sleep);
