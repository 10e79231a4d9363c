#pragma once
// What the network port asks of the operating system itself: its sockets, their waits, what the
// kernel knows of a connection, a waker for a thread that waits on sockets, and the machine's
// name resolver. Each platform answers in a file of its own (socket_os_posix.cpp,
// socket_os_windows.cpp); what one cannot tell it answers as "nothing", said at the function.
//
// No Qt here: a socket is a plain handle (a descriptor, or a Windows SOCKET, as Qt's
// socketDescriptor() gives it), and times are monotonic nanoseconds (see wait_clock.h).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::os {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// An IP address with a port: the address's 4 (IPv4) or 16 (IPv6) bytes in network order.
struct Endpoint {
    bool ipv6 = false;
    std::array<std::uint8_t, 16> bytes{};
    std::uint16_t port = 0;
    std::uint32_t scopeId = 0; // an IPv6 link-local address's interface
};

// What a wait watches a socket for, and what it found there.
inline constexpr short kReadable = 0x1;
inline constexpr short kWritable = 0x2;
inline constexpr short kBroken = 0x4; // an error or a hang-up: found whatever was watched for

struct Watch {
    Socket socket = kNoSocket; // kNoSocket: skipped, finds nothing
    short events = 0;
    short found = 0;
};

// What waitFor answers besides the number of watches that found something (0: the time ran out).
inline constexpr int kWaitFailed = -1;
inline constexpr int kWaitInterrupted = -2; // a signal ended the wait before anything was found

// Waits up to `timeoutNsecs` (not positive: looks without waiting) until a watch finds what it
// watches for, dispatching nothing.
int waitFor(Watch *watches, std::size_t count, std::int64_t timeoutNsecs);
// Sleeps `nsecs`, dispatching nothing; a signal may end it early.
void napFor(std::int64_t nsecs);

// A non-blocking connect to `to`, started; the socket, or kNoSocket when it failed at once.
Socket startConnect(const Endpoint &to);
// Whether a connect that waitFor found done was taken (rather than refused or failed).
bool connectTaken(Socket socket);
// Drops the connection with a reset (the peer sees it end at once) and closes the socket.
void dropConnection(Socket socket);
// Makes the coming close of a socket someone else closes a reset rather than an orderly end.
void resetOnClose(Socket socket);

// Bytes received that wait to be read; 0 when none or unknown.
std::int64_t bytesReadable(Socket socket);
// Takes what was received without waiting; the count taken, 0 or less when nothing was there.
std::int64_t receiveNow(Socket socket, char *buffer, std::size_t size);
// Bytes written that the kernel still holds, unsent or unacknowledged; 0 when it cannot tell.
std::int64_t bytesUnsent(Socket socket);
// Whether all that was sent has been acknowledged, nothing on its way; false when it cannot tell.
bool nothingInFlight(Socket socket);

// The kernel probes an idle connection after `idleSecs`, every `intervalSecs`, and gives it up
// after `probes` unanswered; output unacknowledged for `msecs` gives it up too.
void setKeepAlive(Socket socket, int idleSecs, int intervalSecs, int probes);
void setUnacknowledgedLimit(Socket socket, unsigned int msecs);

// A waker: a handle that waitFor finds readable from wake() until drainWaker(); any thread may
// wake it. kNoSocket when none could be made.
Socket openWaker();
void wake(Socket waker);
void drainWaker(Socket waker);
void closeWaker(Socket waker);

// The addresses the machine's resolver gives `host` (UTF-8) for a stream connection, in its
// order; on failure none, and `error` is its reason (in the local 8-bit encoding).
std::vector<Endpoint> resolveHost(const char *host, std::string &error);

} // namespace korvane::os
