// The errors the system raises. One base type carries the message; the subtypes let a caller
// tell a resource, input/output, registry or configuration failure apart.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// An operating-system failure with its (Windows-style) error number.
class EOSError : public Exception {
public:
    EOSError(QString message, int errorCode) : Exception(std::move(message)), FErrorCode(errorCode) {}
    int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};

// A file that cannot be created, read or written.
class EInOutError : public EOSError {
public:
    using EOSError::EOSError;
};

// A call of an operation that a class declares but does not implement.
class EAbstractError : public Exception {
public:
    EAbstractError() : Exception(QStringLiteral("Abstract Error")) {}
};
