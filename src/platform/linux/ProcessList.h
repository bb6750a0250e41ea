// The running processes, read from /proc, with their image names: the file name of each
// process's executable.
#pragma once

#include <QList>
#include <QString>

struct TProcessEntry {
    qint64 Pid = 0;
    QString ImageName;
};

// Live processes (zombies left out) in ascending process-id order.
QList<TProcessEntry> ProcessSnapshot();
