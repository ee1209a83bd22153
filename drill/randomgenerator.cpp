// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/randomgenerator.h"

namespace touchdrill {

RandomGenerator& processRandom()
{
    static RandomGenerator generator;
    return generator;
}

} // namespace touchdrill
