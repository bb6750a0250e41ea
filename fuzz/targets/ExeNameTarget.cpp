// The installer's own file name: channel and keyword id taken from it.
#include "FuzzTargets.h"

#include "config/Source.h"
#include "base/RunningExe.h"

int FuzzExeName(const std::uint8_t* Data, std::size_t Size) {
    SetRunningExePath(QStringLiteral("/nonexistent-fuzz-dir/") + FuzzUtf8(Data, Size));
    QString source;
    QString keywordId;
    GetSourceFromExeName(source, keywordId);
    // A channel is either the "none" marker or a text the service can carry.
    if (source != kNoSource && !IsValidSourceText(source))
        FuzzFail("the channel holds characters outside the allowed range");
    if (source.contains(u'_'))
        FuzzFail("the channel holds an underscore");
    SetRunningExePath(QString());
    return 0;
}
