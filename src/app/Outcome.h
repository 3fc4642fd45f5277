#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace vlboot {

// How an operation went, the one way vlboot's functions report it: success,
// or failure with why (in plain words, naming the file, device or request
// it is about). Notes are kept apart from the failure: something a caller
// may want to say although the operation succeeded (a record that waits to
// be sent), or more about a failure.
class [[nodiscard]] Outcome {
public:
    static Outcome Ok() { return Outcome(); }
    static Outcome Failed(QString why)
    {
        Outcome o;
        o.failed_ = true;
        o.why_ = std::move(why);
        return o;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // Why it failed; "" when it succeeded.
    const QString& why() const { return why_; }
    const QStringList& notes() const { return notes_; }
    Outcome& Note(const QString& note)
    {
        if (!note.isEmpty())
            notes_ << note;
        return *this;
    }
    // The failure and the notes, as one line.
    QString Text() const
    {
        QStringList parts;
        if (failed_)
            parts << why_;
        parts << notes_;
        return parts.join(QStringLiteral("; "));
    }

private:
    bool failed_ = false;
    QString why_;
    QStringList notes_;
};

// An outcome that carries a value when it succeeded.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Outcome failure) : outcome_(std::move(failure)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *value_; }
    T& value() { return *value_; }
    const T* operator->() const { return &*value_; }
    const T& operator*() const { return *value_; }
    const QString& why() const { return outcome_.why(); }
    const QStringList& notes() const { return outcome_.notes(); }
    Result& Note(const QString& note)
    {
        outcome_.Note(note);
        return *this;
    }
    const Outcome& outcome() const { return outcome_; }

private:
    std::optional<T> value_;
    Outcome outcome_;
};

} // namespace vlboot
