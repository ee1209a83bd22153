#include "randomgenerator.h"

namespace touchdrill {

RandomGenerator& processRandom()
{
    static RandomGenerator generator;
    return generator;
}

} // namespace touchdrill
