#include "support/permissions.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace korvane::test {

WithoutPermissionOverride::WithoutPermissionOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (::syscall(SYS_capget, &header, m_saved) != 0)
        return;
    __user_cap_data_struct dropped[2] = {m_saved[0], m_saved[1]};
    dropped[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
    m_dropped = ::syscall(SYS_capset, &header, dropped) == 0;
}

WithoutPermissionOverride::~WithoutPermissionOverride() {
    if (!m_dropped)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    ::syscall(SYS_capset, &header, m_saved);
}

} // namespace korvane::test
