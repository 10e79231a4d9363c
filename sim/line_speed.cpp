// Line speeds through the kernel's termios2 interface, which carries any baud rate as a number.
// Kept in a file of its own: the kernel's terminal header and the C library's <termios.h> cannot
// be included together.

#include "serial_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

namespace {

// The kernel's codes for the usual rates: a line set to one of these reads back as that code,
// as every other program on the line expects, rather than as "other".
struct StandardSpeed {
    int baud;
    tcflag_t code;
};
constexpr StandardSpeed kStandardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t speedCode(int baud) {
    for (const StandardSpeed &s : kStandardSpeeds) {
        if (s.baud == baud)
            return s.code;
    }
    return BOTHER;
}

} // namespace

int readLineSpeed(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return -1;
    return int(tio.c_ospeed);
}

bool setLineSpeed(int fd, int baud) {
    struct termios2 tio {};
    if (baud <= 0 || ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~tcflag_t(CBAUD);
    tio.c_cflag |= speedCode(baud);
    tio.c_ispeed = speed_t(baud);
    tio.c_ospeed = speed_t(baud);
    return ioctl(fd, TCSETS2, &tio) == 0 && readLineSpeed(fd) == baud;
}

} // namespace sim
