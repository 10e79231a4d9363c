// The network port's system calls on Windows, through Winsock 2 (see socket_os.h).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
// These build on winsock2.h, which must come first.
#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include "device/socket_addresses.h"
#include "device/socket_os.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace korvane::os {

// Windows' own option numbers (ws2ipdef.h), which the MinGW headers at hand do not all name.
constexpr int kTcpMaxRetransmitTime = 5; // TCP_MAXRT
constexpr int kTcpKeepCount = 16;        // TCP_KEEPCNT

namespace {

// Winsock serves a process only once it has been started; Qt starts it for its own sockets, but
// a probe or a look-up may come first. Started once, and left to end with the process.
void startWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

SOCKET handleOf(Socket socket) {
    return static_cast<SOCKET>(socket);
}

Socket socketOf(SOCKET handle) {
    return handle == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(handle);
}

// WSAPoll waits whole milliseconds: rounded up, so that a wait never ends before its time.
int msecsFor(std::int64_t nsecs) {
    if (nsecs <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>((nsecs + 999'999) / 1'000'000, INT_MAX / 2));
}

SOCKET newSocket(int family, int type, int protocol) {
    startWinsock();
    const SOCKET handle = ::WSASocketW(family, type, protocol, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET)
        return INVALID_SOCKET;
    u_long nonBlocking = 1;
    if (::ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(handle);
        return INVALID_SOCKET;
    }
    return handle;
}

// The system's words for a Winsock error, without the trailing full stop and line end.
std::string systemMessage(int code) {
    char text[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

} // namespace

// WSAPoll skips no entry by itself and refuses an empty set: the sockets watched go to it alone,
// and a wait with none is a sleep. (Before Windows 10 2004 it does not report a refused connect;
// a probe then sees it as one that was not taken in time.)
int waitFor(Watch *watches, std::size_t count, std::int64_t timeoutNsecs) {
    std::vector<WSAPOLLFD> fds;
    std::vector<std::size_t> watchOf;
    for (std::size_t i = 0; i < count; ++i) {
        watches[i].found = 0;
        if (watches[i].socket == kNoSocket)
            continue;
        const SHORT events = SHORT((watches[i].events & kReadable ? POLLRDNORM : 0) |
                                   (watches[i].events & kWritable ? POLLWRNORM : 0));
        fds.push_back(WSAPOLLFD{handleOf(watches[i].socket), events, 0});
        watchOf.push_back(i);
    }
    if (fds.empty()) {
        napFor(timeoutNsecs);
        return 0;
    }
    const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), msecsFor(timeoutNsecs));
    if (ready == SOCKET_ERROR)
        return kWaitFailed;
    for (std::size_t j = 0; j < fds.size(); ++j) {
        const SHORT got = fds[j].revents;
        watches[watchOf[j]].found =
            short((got & POLLRDNORM ? kReadable : 0) | (got & POLLWRNORM ? kWritable : 0) |
                  (got & (POLLERR | POLLHUP | POLLNVAL) ? kBroken : 0));
    }
    return ready;
}

// Windows delivers no signal into a sleep: it lasts its time (at the system timer's grain).
void napFor(std::int64_t nsecs) {
    if (nsecs > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(nsecs));
}

Socket startConnect(const Endpoint &to) {
    sockaddr_storage storage{};
    int length = 0;
    if (!to.ipv6) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = ::htons(to.port);
        std::memcpy(&in->sin_addr, to.bytes.data(), 4);
        length = sizeof *in;
    } else {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = ::htons(to.port);
        std::memcpy(&in6->sin6_addr, to.bytes.data(), 16);
        in6->sin6_scope_id = to.scopeId;
        length = sizeof *in6;
    }
    const SOCKET handle = newSocket(storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET)
        return kNoSocket;
    if (::connect(handle, reinterpret_cast<const sockaddr *>(&storage), length) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK) {
        ::closesocket(handle);
        return kNoSocket;
    }
    return socketOf(handle);
}

bool connectTaken(Socket socket) {
    int error = 0;
    int size = sizeof error;
    return ::getsockopt(handleOf(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error),
                        &size) == 0 &&
           error == 0;
}

void dropConnection(Socket socket) {
    resetOnClose(socket);
    ::closesocket(handleOf(socket));
}

void resetOnClose(Socket socket) {
    linger reset{};
    reset.l_onoff = 1;
    reset.l_linger = 0;
    ::setsockopt(handleOf(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&reset),
                 sizeof reset);
}

std::int64_t bytesReadable(Socket socket) {
    u_long waiting = 0;
    return ::ioctlsocket(handleOf(socket), FIONREAD, &waiting) == 0 ? std::int64_t(waiting) : 0;
}

// Winsock has no per-call "don't wait": only what is known to be there is asked for, so that a
// blocking socket does not block either.
std::int64_t receiveNow(Socket socket, char *buffer, std::size_t size) {
    const std::int64_t waiting = bytesReadable(socket);
    if (waiting <= 0)
        return 0;
    const int wanted = static_cast<int>(
        std::min<std::int64_t>({waiting, static_cast<std::int64_t>(size), std::int64_t{INT_MAX}}));
    return ::recv(handleOf(socket), buffer, wanted, 0);
}

// Windows has no count of the output it still holds (Linux's TIOCOUTQ): none is reported.
std::int64_t bytesUnsent(Socket) {
    return 0;
}

// Windows has no count of unacknowledged segments (Linux's TCP_INFO): a shut window is not seen.
bool nothingInFlight(Socket) {
    return false;
}

// The idle time and interval go through SIO_KEEPALIVE_VALS, the number of probes through
// TCP_KEEPCNT (Windows 10 1703 and later; older systems refuse it and keep their own 10).
void setKeepAlive(Socket socket, int idleSecs, int intervalSecs, int probes) {
    const SOCKET handle = handleOf(socket);
    const BOOL on = TRUE;
    ::setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char *>(&on), sizeof on);
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<u_long>(idleSecs) * 1000;
    values.keepaliveinterval = static_cast<u_long>(intervalSecs) * 1000;
    DWORD returned = 0;
    ::WSAIoctl(handle, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
               nullptr);
    const DWORD count = static_cast<DWORD>(probes);
    ::setsockopt(handle, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char *>(&count),
                 sizeof count);
}

// TCP_MAXRT: whole seconds of retransmission before the connection gives up.
void setUnacknowledgedLimit(Socket socket, unsigned int msecs) {
    const DWORD secs = (msecs + 999) / 1000;
    ::setsockopt(handleOf(socket), IPPROTO_TCP, kTcpMaxRetransmitTime,
                 reinterpret_cast<const char *>(&secs), sizeof secs);
}

// Windows has no eventfd: the waker is a UDP socket on the loopback connected to itself, woken
// by a datagram to itself, which WSAPoll sees as readable like any socket.
Socket openWaker() {
    const SOCKET handle = newSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (handle == INVALID_SOCKET)
        return kNoSocket;
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    self.sin_port = 0;
    int length = sizeof self;
    if (::bind(handle, reinterpret_cast<const sockaddr *>(&self), sizeof self) != 0 ||
        ::getsockname(handle, reinterpret_cast<sockaddr *>(&self), &length) != 0 ||
        ::connect(handle, reinterpret_cast<const sockaddr *>(&self), sizeof self) != 0) {
        ::closesocket(handle);
        return kNoSocket;
    }
    return socketOf(handle);
}

// A full buffer already holds a wake-up not yet drained: a datagram that does not fit changes
// nothing.
void wake(Socket waker) {
    const char byte = 1;
    ::send(handleOf(waker), &byte, 1, 0);
}

void drainWaker(Socket waker) {
    char bytes[64];
    while (::recv(handleOf(waker), bytes, sizeof bytes, 0) > 0) {
    }
}

void closeWaker(Socket waker) {
    if (waker != kNoSocket)
        ::closesocket(handleOf(waker));
}

// The name is handed over as UTF-16 (GetAddrInfoW): the narrow getaddrinfo would read it in the
// ANSI code page.
std::vector<Endpoint> resolveHost(const char *host, std::string &error) {
    startWinsock();
    std::vector<Endpoint> addresses;
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, 0, host, -1, nullptr, 0);
    if (wideLength <= 0) {
        error = systemMessage(static_cast<int>(::GetLastError()));
        return addresses;
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, host, -1, wide.data(), wideLength);
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW *found = nullptr;
    const int status = ::GetAddrInfoW(wide.c_str(), nullptr, &hints, &found);
    if (status == 0)
        addresses = endpointsOf(found);
    if (found)
        ::FreeAddrInfoW(found);
    if (status != 0)
        error = systemMessage(status);
    return addresses;
}

} // namespace korvane::os
