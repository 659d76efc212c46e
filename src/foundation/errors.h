#pragma once

#include <QString>
#include <exception>

// The one error a person ever sees: a sentence that is already translated
// (or, for a tool's own error text, shown exactly as the tool wrote it).
class BridgeError : public std::exception
{
public:
    explicit BridgeError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    // Mirrors the single `failed` case: BridgeError::failed(text).
    static BridgeError failed(QString message) { return BridgeError(std::move(message)); }

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

    bool operator==(const BridgeError &other) const { return m_message == other.m_message; }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Cancellation: a superseded, cancelled or abandoned piece of work. No view
// ever shows it; callers drop it silently.
class OperationCancelled : public std::exception
{
public:
    const char *what() const noexcept override { return "operation cancelled"; }
};
