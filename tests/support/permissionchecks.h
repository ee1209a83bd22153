// SPDX-License-Identifier: GPL-3.0-or-later
// Permission checks that bind root too, for tests of refused access to files.
#pragma once

#include <cstdint>

namespace touchdrill::testing {

// Root opens any file whatever its permission bits and gives files to anyone. While this lives, the
// calling thread drops the capabilities that allow that, so it is bound as any user is. active() is false
// when they could not be dropped.
class PermissionChecks {
public:
    PermissionChecks();
    ~PermissionChecks();
    PermissionChecks(const PermissionChecks&) = delete;
    PermissionChecks& operator=(const PermissionChecks&) = delete;

    bool active() const { return m_active; }

private:
    bool m_active = false;
    bool m_dropped = false;
    uint32_t m_savedEffective[2] {};
};

} // namespace touchdrill::testing
