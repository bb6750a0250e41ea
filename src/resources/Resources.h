// The installer's embedded resources: byte blocks addressed by (name, type) and carried in the
// running executable's own file (see ResourceContainer.h). Names and types compare without
// regard to case. Every call reads the file afresh and holds nothing between calls.
#pragma once

#include "base/Exception.h"

#include <QByteArray>
#include <QString>

// The resource the caller asked for is not in the executable.
class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

// Resource type of everything the installer carries.
inline const QString cnResTypeFile = QStringLiteral("file");

bool ResourceExists(const QString& Name, const QString& Type);

// The resource as UTF-8 text, a byte-order mark skipped, every line ended by CR LF.
QString LoadTextResource(const QString& Name, const QString& Type);

// A small resource whole (pictures, texts); throws EResNotFound, or EInOutError when it is
// larger than MaxInMemoryResource and must be streamed instead.
QByteArray LoadResourceBytes(const QString& Name, const QString& Type);
constexpr qint64 MaxInMemoryResource = 64 * 1024 * 1024;

// Writes the resource to TargetFile in blocks, replacing the file; true when the file exists
// afterwards. Throws EResNotFound, or EInOutError when the file cannot be created or written.
bool SaveResourceToFile(const QString& Name, const QString& Type, const QString& TargetFile);

// Writes the running executable to TargetFile without the resource (Name, Type), every other
// resource kept: the uninstaller left in the product's folder needs the configuration and the
// pictures, never the package. Replaces TargetFile whole or not at all; true when it exists
// afterwards. Throws EInOutError.
bool SaveExeWithoutResource(const QString& Name, const QString& Type, const QString& TargetFile);
