// A typed key/value settings store. The base implements nothing: each operation raises
// EAbstractError until a store overrides it.
#pragma once

#include "base/Exception.h"

#include <QString>

class TAbstractInfo {
public:
    virtual ~TAbstractInfo() = default;

    virtual bool DeleteValue(const QString& sValueName) { abstractCall(sValueName); }
    virtual bool ReadValue(const QString& sValueName, bool Default) {
        abstractCall(sValueName, Default);
    }
    virtual QString ReadValue(const QString& sValueName, const QString& Default) {
        abstractCall(sValueName, Default);
    }
    virtual int ReadValue(const QString& sValueName, int Default) {
        abstractCall(sValueName, Default);
    }
    virtual double ReadValue(const QString& sValueName, double Default) {
        abstractCall(sValueName, Default);
    }
    virtual void WriteValue(const QString& sValueName, bool Value) {
        abstractCall(sValueName, Value);
    }
    virtual void WriteValue(const QString& sValueName, const QString& Value) {
        abstractCall(sValueName, Value);
    }
    virtual void WriteValue(const QString& sValueName, int Value) {
        abstractCall(sValueName, Value);
    }
    virtual void WriteValue(const QString& sValueName, double Value) {
        abstractCall(sValueName, Value);
    }

    // A string literal would otherwise pick the truth overloads (pointer to bool conversion).
    QString ReadValue(const QString& sValueName, const char* Default) {
        return ReadValue(sValueName, QString::fromUtf8(Default));
    }
    void WriteValue(const QString& sValueName, const char* Value) {
        WriteValue(sValueName, QString::fromUtf8(Value));
    }

private:
    template <typename... TArgs> [[noreturn]] static void abstractCall(const TArgs&...) {
        throw EAbstractError();
    }
};
