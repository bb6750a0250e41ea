// One registry database file in SQLite: opening (and creating) it, its schema and the few
// statements the registry calls are made of. Functions answer SQLite result codes; the caller
// turns them into error numbers. Not thread-safe: the caller serialises all use.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <memory>
#include <sys/types.h>

struct sqlite3;

class TRegDatabase {
public:
    // Root key rows; every database holds all three, each root uses its own.
    static constexpr std::int64_t ClassesRootId = 1;
    static constexpr std::int64_t CurrentUserId = 2;
    static constexpr std::int64_t LocalMachineId = 3;

    // Opens Path, creating the file (mode 0600) and its folder when missing. On failure *Rc is
    // the SQLite result code and the answer is empty.
    static std::unique_ptr<TRegDatabase> Open(const QString& Path, int* Rc);
    ~TRegDatabase();
    TRegDatabase(const TRegDatabase&) = delete;
    TRegDatabase& operator=(const TRegDatabase&) = delete;

    const QString& Path() const { return FPath; }
    pid_t Owner() const { return FOwner; }
    // A connection copied into a child process by fork belongs to the parent; the child
    // leaves it alone instead of closing it under the parent's feet.
    void Abandon() { FAbandoned = true; }

    // Transactions: a write takes the write lock at once, so it never fails half-way for a lock.
    // Inside an outer transaction they are savepoints of it.
    int BeginRead();
    int BeginWrite();
    int Commit();
    void Rollback();
    // The transaction that spans many calls: it takes the write lock at once.
    int BeginOuter();
    int EndOuter(bool Keep);
    bool InOuter() const { return FOuter; }

    int KeyExists(std::int64_t Key, bool* Exists);
    // *Child is 0 when Parent has no subkey named Name.
    int FindChild(std::int64_t Parent, const QString& Name, std::int64_t* Child);
    int CreateChild(std::int64_t Parent, const QString& Name, std::int64_t* Child);
    int HasChildren(std::int64_t Key, bool* Any);
    int ChildNames(std::int64_t Key, QStringList* Names);
    // Removes Key's subkeys and values, and Key itself when WithKey.
    int DeleteTree(std::int64_t Key, bool WithKey);

    int GetValue(std::int64_t Key, const QString& Name, bool* Found, std::uint32_t* Type,
                 QByteArray* Data);
    int SetValue(std::int64_t Key, const QString& Name, std::uint32_t Type, const QByteArray& Data);
    int DeleteValue(std::int64_t Key, const QString& Name, bool* Deleted);
    int ValueNames(std::int64_t Key, QStringList* Names);

private:
    TRegDatabase(sqlite3* Db, QString Path);
    static int busyWait(void* Self, int Count);
    int exec(const char* Sql);
    // The file's layout version, whether it holds no table at all, and whether it is this
    // store's layout.
    int layout(int* Version, bool* Empty, bool* Ours);
    int prepareSchema();

    sqlite3* FDb;
    QString FPath;
    pid_t FOwner;
    bool FAbandoned = false;
    bool FOuter = false;
    std::chrono::steady_clock::time_point FBusySince;
};
