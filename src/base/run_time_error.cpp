#include "base/run_time_error.h"

namespace korvane {

namespace {
QString textOf(const ErrorKind &kind) {
    return QString::fromUtf8(kind.text);
}
} // namespace

QString errorDescription(const ErrorKind &kind, const QString &port, const QString &detail) {
    return textOf(kind).replace(QLatin1String("{port}"), port) + QStringLiteral(": ") + detail;
}

RunTimeError::RunTimeError(const ErrorKind &kind)
    : m_number(kind.number), m_description(textOf(kind)) {}

RunTimeError::RunTimeError(const ErrorKind &kind, const QString &detail)
    : m_number(kind.number), m_description(textOf(kind) + QStringLiteral(": ") + detail) {}

RunTimeError::RunTimeError(const ErrorKind &kind, const QString &port, const QString &detail)
    : m_number(kind.number), m_description(errorDescription(kind, port, detail)) {}

} // namespace korvane
