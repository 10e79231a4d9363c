#pragma once
// Root passes every file permission check through two capabilities. Without them in this
// thread's effective set it meets the file's mode bits like anyone else, so that a test run as
// root can see a device it may not open; they come back at the end of the object's life.

#include <linux/capability.h>

namespace korvane::test {

class WithoutPermissionOverride {
public:
    WithoutPermissionOverride();
    ~WithoutPermissionOverride();
    WithoutPermissionOverride(const WithoutPermissionOverride &) = delete;
    WithoutPermissionOverride &operator=(const WithoutPermissionOverride &) = delete;

private:
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace korvane::test
