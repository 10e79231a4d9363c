// A COM port of this machine through the Win32 communications calls.
//
// The port is opened without sharing, so Windows itself refuses it to a second program (and a
// second program's port to us): that is how a Windows station marks a port in use, and there is
// no lock file to write. It is opened for overlapped I/O, so that nothing here waits on the
// driver except where a wait is asked for (waitForInput, waitForOutput):
//   - a read of one byte is always pending while the port is open, with no time-out: it ends
//     when a byte arrives, its event handle wakes the window's loop (QWinEventNotifier), and the
//     rest of what the driver holds is then taken at once (a read of exactly what is there ends
//     at once). An idle port costs nothing. (A read asking for more, told by the time-outs to end
//     at the first byte, is what Windows documents, but Wine's driver waits on for the rest);
//   - a comm-event wait (WaitCommEvent) is pending beside it for the modem lines and line errors,
//     where the driver has them (Wine's driver on a pseudo-terminal has neither, as Linux's);
//   - writes go to the driver as one overlapped write at a time, the rest queued behind it, so a
//     line held back by its handshaking never holds the window.
// A port that goes away (a USB adapter pulled) fails its next call; the device then closes and
// emits lost once, with what had arrived and was not read.

#include "base/windows_error.h"
#include "device/line_setup.h"
#include "device/local_port.h"
#include "device/wait_clock.h"
#include "text/line_events.h"

#include <QMetaObject>
#include <QRegularExpression>
#include <QWinEventNotifier>
#include <algorithm>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korvane {

namespace {

// A short sleep while the driver sends what it holds; it gives no wake-up when it is done.
constexpr std::int64_t kDrainNapNsecs = 2'000'000;
// Reads in a row that end with nothing, after which the line counts as gone (a read with no
// time-out ends with nothing only when the line has ended).
constexpr int kEmptyReadLimit = 100;
// How long taking what waits may let the pending read finish taking bytes already in the driver.
constexpr DWORD kTakeWaitMsecs = 20;
constexpr DWORD kCommEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK;

// "COM7" names the device \\.\COM7, the only form that opens COM10 and above; any other path is
// taken as it stands.
std::wstring devicePath(const QString &path) {
    static const QRegularExpression bare(QStringLiteral("^COM[0-9]+$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString full = bare.match(path).hasMatch() ? QStringLiteral("\\\\.\\") + path : path;
    return full.toStdWString();
}

HANDLE openDevice(const QString &path, DWORD flags) {
    return CreateFileW(devicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

RunTimeError openFailure(const QString &where, DWORD error) {
    const QString reason = windowsErrorText(error);
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        // A COM port is opened by one program at a time: Windows refuses the second.
        return RunTimeError(
            err::kDeviceInUse,
            QStringLiteral("%1 is held by another program (%2)").arg(where, reason));
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        return RunTimeError(err::kInvalidPortNumber,
                            QStringLiteral("%1 does not exist (%2)").arg(where, reason));
    default:
        return RunTimeError(err::kOpenFailed, where, reason);
    }
}

BYTE windowsParity(LineSettings::Parity parity) {
    switch (parity) {
    case LineSettings::Parity::Even:
        return EVENPARITY;
    case LineSettings::Parity::Odd:
        return ODDPARITY;
    case LineSettings::Parity::Mark:
        return MARKPARITY;
    case LineSettings::Parity::Space:
        return SPACEPARITY;
    case LineSettings::Parity::None:
        break;
    }
    return NOPARITY;
}

BYTE windowsStopBits(LineSettings::StopBits stopBits) {
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf:
        return ONE5STOPBITS;
    case LineSettings::StopBits::Two:
        return TWOSTOPBITS;
    case LineSettings::StopBits::One:
        break;
    }
    return ONESTOPBIT;
}

// The modem lines as a look reports them.
int modemLines(DWORD status) {
    return ((status & MS_CTS_ON) != 0 ? modem::kCts : 0) |
           ((status & MS_DSR_ON) != 0 ? modem::kDsr : 0) |
           ((status & MS_RLSD_ON) != 0 ? modem::kCarrier : 0) |
           ((status & MS_RING_ON) != 0 ? modem::kRing : 0);
}

class WindowsSerialDevice final : public SerialDevice {
public:
    WindowsSerialDevice(int number, QString path) : m_number(number), m_path(std::move(path)) {}
    ~WindowsSerialDevice() override { close(); }

    QString name() const override { return QStringLiteral("COM%1 (%2)").arg(m_number).arg(m_path); }

    void open(const LineSettings &settings, int handshaking) override {
        const QString refused = refusedSettings(settings, handshaking);
        if (!refused.isEmpty())
            throw settingsRefused(name(), refused,
                                  QStringLiteral("the operating system cannot give it"));
        const HANDLE handle = openDevice(m_path, FILE_FLAG_OVERLAPPED);
        if (handle == INVALID_HANDLE_VALUE)
            throw openFailure(name(), GetLastError());
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle, &dcb)) {
            CloseHandle(handle);
            throw RunTimeError(err::kOpenFailed, name(), QStringLiteral("not a serial device"));
        }
        m_handle = handle;
        try {
            setLine(settings, handshaking);
            // No time-outs: a read ends when the bytes it asks for are there (only ever what is
            // there, or the one byte it waits for); a write never times out (a line held back by
            // its handshaking keeps its bytes queued, told by bytesToSend).
            COMMTIMEOUTS timeouts{};
            if (!SetCommTimeouts(m_handle, &timeouts) || !SetCommMask(m_handle, kCommEvents))
                throw RunTimeError(err::kOpenFailed, name(), windowsErrorText(GetLastError()));
            // A freshly opened line starts empty: what the driver held came before the session.
            PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
        } catch (const RunTimeError &) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
            throw;
        }
        m_waitOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_writeOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_readOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_waitNotifier = new QWinEventNotifier(m_waitOv.hEvent, this);
        connect(m_waitNotifier, &QWinEventNotifier::activated, this, [this] { commEvent(); });
        m_writeNotifier = new QWinEventNotifier(m_writeOv.hEvent, this);
        connect(m_writeNotifier, &QWinEventNotifier::activated, this, [this] { writeDone(); });
        m_writeNotifier->setEnabled(false);
        m_readNotifier = new QWinEventNotifier(m_readOv.hEvent, this);
        connect(m_readNotifier, &QWinEventNotifier::activated, this, [this] { readDone(true); });
        m_counts = LineCounters{};
        m_last = look();
        m_lineEvents = true;
        armCommWait();
        armRead();
    }

    void setLine(const LineSettings &settings, int handshaking) override {
        const QString refused = refusedSettings(settings, handshaking);
        if (!refused.isEmpty())
            throw settingsRefused(name(), refused,
                                  QStringLiteral("the operating system cannot give it"));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_handle, &dcb))
            throw settingsRefused(name(), QStringLiteral("the settings"),
                                  windowsErrorText(GetLastError()));
        dcb.fBinary = TRUE;
        dcb.fAbortOnError = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        DCB before = dcb;
        dcb.BaudRate = DWORD(settings.baud);
        dcb.ByteSize = BYTE(settings.dataBits);
        dcb.Parity = windowsParity(settings.parity);
        dcb.fParity = settings.parity != LineSettings::Parity::None;
        dcb.StopBits = windowsStopBits(settings.stopBits);
        dcb.fOutxCtsFlow = handshaking == 2;
        dcb.fRtsControl = handshaking == 2 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        dcb.fOutX = dcb.fInX = handshaking == 1;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.XonLim = 2048;
        dcb.XoffLim = 512;
        // All at once, as the driver expects a whole line (a framing is judged as a whole).
        if (SetCommState(m_handle, &dcb))
            return;
        const DWORD error = GetLastError();
        // Refused: the settings one by one from those in force name what the driver refuses.
        DCB step = before;
        const auto refusedAt = [&](auto change) {
            change(step);
            return !SetCommState(m_handle, &step);
        };
        QString what = QStringLiteral("the settings");
        if (refusedAt([&](DCB &d) { d.BaudRate = dcb.BaudRate; }))
            what = QStringLiteral("%1 baud").arg(settings.baud);
        else if (refusedAt([&](DCB &d) {
                     d.ByteSize = dcb.ByteSize;
                     d.Parity = dcb.Parity;
                     d.fParity = dcb.fParity;
                     d.StopBits = dcb.StopBits;
                 }))
            what = QStringLiteral("%1 data bits, the parity and %2")
                       .arg(settings.dataBits)
                       .arg(settings.stopBits == LineSettings::StopBits::Two
                                ? QStringLiteral("2 stop bits")
                                : QStringLiteral("1 stop bit"));
        else if (refusedAt([&](DCB &d) { d = dcb; }))
            what = QStringLiteral("handshaking %1").arg(handshaking);
        SetCommState(m_handle, &before);
        throw settingsRefused(name(), what, windowsErrorText(error));
    }

    void close() override {
        if (!isOpen())
            return;
        // Pending operations end before their buffers and events go.
        CancelIo(m_handle);
        DWORD n = 0;
        if (m_waitPending)
            GetOverlappedResult(m_handle, &m_waitOv, &n, TRUE);
        if (m_writePending)
            GetOverlappedResult(m_handle, &m_writeOv, &n, TRUE);
        if (m_readPending)
            GetOverlappedResult(m_handle, &m_readOv, &n, TRUE);
        m_waitPending = m_writePending = m_readPending = false;
        PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        delete m_waitNotifier;
        delete m_writeNotifier;
        delete m_readNotifier;
        m_waitNotifier = m_writeNotifier = m_readNotifier = nullptr;
        for (OVERLAPPED *ov : {&m_waitOv, &m_writeOv, &m_readOv}) {
            if (ov->hEvent != nullptr)
                CloseHandle(ov->hEvent);
            *ov = OVERLAPPED{};
        }
        m_in.clear();
        m_writing.clear();
        m_outQueue.clear();
    }

    bool isOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }

    qint64 bytesWaiting() const override {
        if (!isOpen())
            return 0;
        const_cast<WindowsSerialDevice *>(this)->readDone(false);
        COMSTAT stat{};
        return m_in.size() + (status(&stat) ? qint64(stat.cbInQue) : 0);
    }

    qint64 bytesToSend() const override {
        if (!isOpen())
            return 0;
        COMSTAT stat{};
        const qint64 driver = status(&stat) ? qint64(stat.cbOutQue) : 0;
        // A pending write's bytes are in the driver's count once it has taken them; until then
        // they still wait here.
        const qint64 writing = m_writePending ? std::max<qint64>(driver, 1) : driver;
        return m_outQueue.size() + writing;
    }

    QByteArray read(qint64 maxBytes) override {
        if (!isOpen())
            return QByteArray();
        takeFromDriver();
        const qsizetype n =
            maxBytes > 0 ? qsizetype(std::min<qint64>(maxBytes, m_in.size())) : m_in.size();
        QByteArray bytes = m_in.left(n);
        m_in.remove(0, n);
        armRead(); // room was made
        return bytes;
    }

    void write(const QByteArray &bytes) override {
        if (!isOpen())
            return;
        m_outQueue += bytes;
        startWrite();
    }

    void discardInput() override {
        if (!isOpen())
            return;
        m_in.clear();
        PurgeComm(m_handle, PURGE_RXCLEAR);
    }

    void discardOutput() override {
        if (!isOpen())
            return;
        m_outQueue.clear();
        PurgeComm(m_handle, PURGE_TXCLEAR | PURGE_TXABORT);
        if (m_writePending) {
            DWORD n = 0;
            GetOverlappedResult(m_handle, &m_writeOv, &n, TRUE);
            finishWrite();
        }
    }

    bool waitForInput(std::int64_t deadline) override {
        while (isOpen()) {
            if (bytesWaiting() > 0)
                return true;
            const int left = msecsUntil(deadline);
            if (left <= 0)
                return false;
            // The pending read ends the wait as soon as a byte is there.
            HANDLE events[2] = {m_readOv.hEvent, m_writeOv.hEvent};
            const DWORD count = m_writePending ? 2 : 1;
            const DWORD woke = WaitForMultipleObjects(count, events, FALSE, DWORD(left));
            if (woke == WAIT_OBJECT_0 + 1)
                writeDone();
            else if (woke == WAIT_FAILED)
                return false;
        }
        return false;
    }

    void waitForOutput(std::int64_t deadline) override {
        while (isOpen() && bytesToSend() > 0) {
            const int left = msecsUntil(deadline);
            if (left <= 0)
                return;
            if (m_writePending) {
                if (WaitForSingleObject(m_writeOv.hEvent, DWORD(left)) == WAIT_OBJECT_0)
                    writeDone();
            } else if (!m_outQueue.isEmpty()) {
                startWrite();
            } else {
                sleepUntil(std::min(deadline, monotonicNsecs() + kDrainNapNsecs));
            }
        }
    }

private:
    bool status(COMSTAT *stat, DWORD *errors = nullptr) const {
        DWORD found = 0;
        const bool ok = ClearCommError(m_handle, &found, stat) != 0;
        if (errors != nullptr)
            *errors = found;
        else if (found != 0)
            const_cast<WindowsSerialDevice *>(this)->countErrors(found);
        return ok;
    }

    void countErrors(DWORD errors) {
        m_counts.brk += (errors & CE_BREAK) != 0;
        m_counts.frame += (errors & CE_FRAME) != 0;
        m_counts.overrun += (errors & CE_OVERRUN) != 0;
        m_counts.bufOverrun += (errors & CE_RXOVER) != 0;
        m_counts.parity += (errors & CE_RXPARITY) != 0;
    }

    LineLook look() {
        LineLook now;
        DWORD lines = 0;
        if (GetCommModemStatus(m_handle, &lines))
            now.modemLines = modemLines(lines);
        now.counters = m_counts;
        return now;
    }

    // Keeps one read pending, unless the device's buffer is full (then the driver holds the
    // bytes, and the sender is held back as on Linux).
    void armRead() {
        while (isOpen() && !m_readPending && m_in.size() < kDeviceReadBuffer) {
            DWORD got = 0;
            if (ReadFile(m_handle, &m_readByte, 1, &got, &m_readOv)) {
                if (!took(got, false))
                    return lose();
                continue;
            }
            if (GetLastError() != ERROR_IO_PENDING)
                return lose();
            m_readPending = true;
        }
    }

    // The pending read, if it has ended: its bytes are taken and another is made. `fromLoop`
    // when the window's loop saw it end; otherwise nothing is emitted from here directly.
    void readDone(bool fromLoop) {
        if (!isOpen() || !m_readPending)
            return;
        DWORD got = 0;
        if (!GetOverlappedResult(m_handle, &m_readOv, &got, FALSE)) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_INCOMPLETE)
                return;
            m_readPending = false;
            if (error != ERROR_OPERATION_ABORTED)
                return lose();
        } else {
            m_readPending = false;
            if (!took(got, fromLoop))
                return lose();
        }
        armRead();
    }

    // Keeps what a read brought and tells it; false when the line is gone: reads that end at
    // once with nothing, over and over (a read with nothing is otherwise the silent line's
    // time-out).
    bool took(DWORD got, bool fromLoop) {
        if (got == 0)
            return ++m_emptyReads <= kEmptyReadLimit;
        m_emptyReads = 0;
        m_in.append(m_readByte);
        if (!drainDriver())
            return false;
        if (fromLoop)
            Q_EMIT readyRead();
        else
            postReadyRead();
        return true;
    }

    // Takes what the driver holds now, up to the device's bound, while no read is pending: a read
    // of exactly what is there ends at once.
    bool drainDriver() {
        COMSTAT stat{};
        if (!status(&stat))
            return false;
        const DWORD wanted = DWORD(std::min<qint64>(stat.cbInQue, kDeviceReadBuffer - m_in.size()));
        if (wanted == 0)
            return true;
        const qsizetype at = m_in.size();
        m_in.resize(at + wanted);
        DWORD got = 0;
        if (!ReadFile(m_handle, m_in.data() + at, wanted, &got, &m_readOv) &&
            (GetLastError() != ERROR_IO_PENDING ||
             !GetOverlappedResult(m_handle, &m_readOv, &got, TRUE))) {
            m_in.resize(at);
            return false;
        }
        m_in.resize(at + got);
        return true;
    }

    // What waits now, taken without waiting for more: the pending read has it as soon as it is
    // in the driver.
    void takeFromDriver() {
        COMSTAT stat{};
        if (!status(&stat))
            return lose();
        if (m_readPending && stat.cbInQue > 0)
            WaitForSingleObject(m_readOv.hEvent, kTakeWaitMsecs);
        readDone(false);
        if (!m_readPending && isOpen() && !drainDriver())
            lose();
    }

    void armCommWait() {
        while (isOpen() && m_lineEvents && !m_waitPending) {
            m_waitMask = 0;
            if (WaitCommEvent(m_handle, &m_waitMask, &m_waitOv)) {
                takeCommEvent(m_waitMask); // already happened: take it and wait again
                continue;
            }
            if (GetLastError() != ERROR_IO_PENDING) {
                // A driver without modem lines or line errors (Wine's on a pseudo-terminal)
                // has no comm events to wait for; a line that is gone fails its status too.
                COMSTAT stat{};
                if (!status(&stat))
                    return lose();
                m_lineEvents = false;
                return;
            }
            m_waitPending = true;
        }
    }

    // The pending comm-event wait has ended. Line events are posted, never emitted from here.
    void commEvent() {
        if (!isOpen() || !m_waitPending)
            return;
        DWORD n = 0;
        if (!GetOverlappedResult(m_handle, &m_waitOv, &n, FALSE)) {
            if (GetLastError() == ERROR_IO_INCOMPLETE)
                return;
            m_waitPending = false;
            COMSTAT stat{};
            if (!status(&stat)) {
                lose();
                return;
            }
            armCommWait();
            return;
        }
        m_waitPending = false;
        takeCommEvent(m_waitMask);
        armCommWait();
    }

    void takeCommEvent(DWORD mask) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!status(&stat, &errors)) {
            lose();
            return;
        }
        countErrors(errors);
        if ((mask & EV_CTS) != 0)
            ++m_counts.cts;
        if ((mask & EV_DSR) != 0)
            ++m_counts.dsr;
        if ((mask & EV_RLSD) != 0)
            ++m_counts.dcd;
        if ((mask & EV_RING) != 0)
            ++m_counts.rng;
        if ((mask & EV_BREAK) != 0 && (errors & CE_BREAK) == 0)
            ++m_counts.brk;
        const LineLook before = m_last;
        m_last = look();
        for (const std::int16_t code : commEventsBetween(before, m_last)) {
            QMetaObject::invokeMethod(
                this, [this, code] { Q_EMIT lineEvent(code); }, Qt::QueuedConnection);
        }
    }

    void postReadyRead() {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (bytesWaiting() > 0)
                    Q_EMIT readyRead();
            },
            Qt::QueuedConnection);
    }

    void startWrite() {
        if (!isOpen() || m_writePending || m_outQueue.isEmpty())
            return;
        m_writing = std::move(m_outQueue);
        m_outQueue.clear();
        DWORD n = 0;
        if (WriteFile(m_handle, m_writing.constData(), DWORD(m_writing.size()), &n, &m_writeOv)) {
            finishWrite();
            return;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            m_writePending = true;
            m_writeNotifier->setEnabled(true);
            return;
        }
        COMSTAT stat{};
        if (!status(&stat)) {
            lose();
            return;
        }
        m_writing.clear();
        throw RunTimeError(err::kWriteFailed, name(), windowsErrorText(error));
    }

    void writeDone() {
        if (!isOpen() || !m_writePending)
            return;
        DWORD n = 0;
        if (!GetOverlappedResult(m_handle, &m_writeOv, &n, FALSE) &&
            GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        finishWrite();
        COMSTAT stat{};
        if (!status(&stat)) {
            lose();
            return;
        }
        try {
            startWrite();
        } catch (const RunTimeError &) {
            lose(); // a queued write refused with no caller to tell: the line is gone for us
        }
    }

    void finishWrite() {
        m_writePending = false;
        m_writing.clear();
        if (m_writeNotifier != nullptr)
            m_writeNotifier->setEnabled(false);
        ResetEvent(m_writeOv.hEvent);
    }

    void lose() {
        if (!isOpen() || m_losing)
            return;
        m_losing = true;
        const QString description =
            errorDescription(err::kDeviceLost, name(), QStringLiteral("the device went away"));
        DWORD got = 0;
        if (m_readPending) {
            CancelIo(m_handle);
            if (GetOverlappedResult(m_handle, &m_readOv, &got, TRUE) && got > 0)
                m_in.append(m_readByte);
            m_readPending = false;
        }
        QByteArray received = std::move(m_in);
        m_in.clear();
        close();
        m_losing = false;
        Q_EMIT lost(description, received);
    }

    int m_number;
    QString m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    OVERLAPPED m_waitOv{};
    OVERLAPPED m_writeOv{};
    OVERLAPPED m_readOv{};
    DWORD m_waitMask = 0;
    bool m_waitPending = false;
    bool m_writePending = false;
    bool m_readPending = false;
    bool m_losing = false;
    bool m_lineEvents = true; // the driver has comm events to wait for
    int m_emptyReads = 0;     // reads in a row that ended with nothing
    char m_readByte = 0;      // the pending read's one byte
    QWinEventNotifier *m_readNotifier = nullptr;
    QWinEventNotifier *m_waitNotifier = nullptr;
    QWinEventNotifier *m_writeNotifier = nullptr;
    QByteArray m_in;       // taken from the driver, not yet read
    QByteArray m_writing;  // the pending write's bytes
    QByteArray m_outQueue; // behind the pending write
    LineCounters m_counts; // what the comm events counted, as a Linux driver counts
    LineLook m_last;
};

} // namespace

std::unique_ptr<SerialDevice> makeLocalDevice(int number, const QString &path) {
    return std::make_unique<WindowsSerialDevice>(number, path);
}

bool localDeviceOpens(const QString &path) {
    // Without sharing, as the console opens it: a port another program has open is refused.
    const HANDLE handle = openDevice(path, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

} // namespace korvane
