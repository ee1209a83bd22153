// SPDX-License-Identifier: GPL-3.0-or-later
// Dropping the capabilities that let root past permission bits, for the calling thread only.
#include "tests/support/permissionchecks.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace touchdrill::testing {

namespace {

constexpr uint32_t bypassMask(int cap)
{
    return 1u << (cap % 32);
}

} // namespace

PermissionChecks::PermissionChecks()
{
    if (::geteuid() != 0) {
        m_active = true;
        return;
    }
    // Capabilities are per thread, so this touches nothing but the running test.
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    m_savedEffective[0] = data[0].effective;
    m_savedEffective[1] = data[1].effective;
    data[0].effective &= ~(bypassMask(CAP_DAC_OVERRIDE) | bypassMask(CAP_DAC_READ_SEARCH)
        | bypassMask(CAP_FOWNER) | bypassMask(CAP_CHOWN));
    if (::syscall(SYS_capset, &header, data) != 0)
        return;
    m_dropped = true;
    m_active = true;
}

PermissionChecks::~PermissionChecks()
{
    if (!m_dropped)
        return;
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    data[0].effective = m_savedEffective[0];
    data[1].effective = m_savedEffective[1];
    ::syscall(SYS_capset, &header, data);
}

} // namespace touchdrill::testing
