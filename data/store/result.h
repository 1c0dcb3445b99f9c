#pragma once
#include <QString>

#include <optional>
#include <utility>

namespace db {

// What kind of trouble with the data file a failure comes from, for callers that react
// differently (start-up offers a backup for a damaged file only).
enum class Fault {
    None,
    Other,    // a refused input, a rule of the shop, an engine message without a kind
    Missing,  // the file is not there
    ReadOnly, // the file cannot be written
    Busy,     // another program holds the file
    Full,     // no room to write
    Damaged,  // not a database, or a damaged one
    IO,       // the system could not read or write it
    Password, // the database server wants a password it was not given, or refused it
};

// Outcome of a data operation: success, or a failure with a reason the shop keeper can read.
class Status
{
public:
    Status() = default;
    static Status failure(QString reason, Fault fault = Fault::Other)
    {
        Status s;
        s.m_error = std::move(reason);
        s.m_ok = false;
        s.m_fault = fault;
        return s;
    }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &error() const { return m_error; }
    Fault fault() const { return m_fault; }

private:
    bool m_ok = true;
    QString m_error;
    Fault m_fault = Fault::None;
};

// A value, or the reason it could not be produced.
template <typename T>
class Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Status failure) : m_status(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return &*m_value; }
    QString error() const { return m_status.error(); }
    Status status() const { return ok() ? Status() : m_status; }

private:
    std::optional<T> m_value;
    Status m_status;
};

} // namespace db
