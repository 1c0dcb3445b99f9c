#pragma once
#include <QString>

#include <optional>
#include <utility>

namespace db {

// Outcome of a data operation: success, or a failure with a reason the shop keeper can read.
class Status
{
public:
    Status() = default;
    static Status failure(QString reason) { Status s; s.m_error = std::move(reason); s.m_ok = false; return s; }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &error() const { return m_error; }

private:
    bool m_ok = true;
    QString m_error;
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
