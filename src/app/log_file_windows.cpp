#include "app/log_file.h"

#include "base/windows_error.h"

#include <QFileInfo>
#include <QRegularExpression>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korvane {

namespace {

HANDLE handleOf(qintptr fd) {
    return reinterpret_cast<HANDLE>(fd);
}

// What is at `path` when it cannot be the log, as said after its name; empty text when nothing
// is there yet or it is a file. Looked at without opening it: opening a COM port to look at it
// would take it from the radio's program.
QString refusedKind(const QString &path) {
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[0-9¹²³]|LPT[0-9¹²³])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (path.startsWith(QStringLiteral("\\\\.\\")) || path.startsWith(QStringLiteral("//./")) ||
        reserved.match(QFileInfo(path).fileName().trimmed()).hasMatch())
        return QStringLiteral(" is not a regular file");
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return QString();
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return QStringLiteral(" is a symbolic link");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return QStringLiteral(" is not a regular file");
    return QString();
}

} // namespace

QString LogFile::open(const QString &path) {
    close();
    if (path.isEmpty())
        return QStringLiteral(": no file named");
    if (const QString kind = refusedKind(path); !kind.isEmpty())
        return kind;
    // Appending only; other programs may read the log, and delete or rename it, while it is
    // written. A reparse point put there meanwhile is opened as itself, not followed, and the
    // file is looked at again below.
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                    FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const QString kind = refusedKind(path);
        return kind.isEmpty() ? QStringLiteral(": ") + windowsErrorText(error) : kind;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        CloseHandle(file);
        return QStringLiteral(" is not a regular file");
    }
    m_fd = reinterpret_cast<qintptr>(file);
    m_path = path;
    return QString();
}

qint64 LogFile::writeAll(const QByteArray &bytes, QString *why) {
    qint64 done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(handleOf(m_fd), bytes.constData() + done, DWORD(bytes.size() - done), &n,
                       nullptr)) {
            *why = windowsErrorText(GetLastError());
            return done;
        }
        if (n == 0) {
            *why =
                windowsErrorText(ERROR_DISK_FULL); // a write that takes nothing: the disk is full
            return done;
        }
        done += n;
    }
    return done;
}

// An append-only handle cannot shorten its file: a second handle does, by the same name.
void LogFile::takeBack(qint64 bytes) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(m_fd), &size) || size.QuadPart < bytes)
        return;
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(m_path.utf16()), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size.QuadPart - bytes;
    SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    CloseHandle(file);
}

bool LogFile::removed() const {
    FILE_STANDARD_INFO info{};
    return GetFileInformationByHandleEx(handleOf(m_fd), FileStandardInfo, &info, sizeof info) &&
           info.DeletePending;
}

void LogFile::close() {
    if (m_fd >= 0)
        CloseHandle(handleOf(m_fd));
    m_fd = -1;
}

} // namespace korvane
