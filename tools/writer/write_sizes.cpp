#include "write_sizes.h"

uint32_t WriteSizes::Next()
{
    if (m_minimum == m_maximum)
        return m_minimum;
    const uint64_t span = static_cast<uint64_t>(m_maximum - m_minimum) + 1;
    return m_minimum + static_cast<uint32_t>(m_random.Next() % span);
}
