#include "boxstate.h"

namespace lckb {

std::optional<bool> storedBoxState(const QString &stored)
{
    if (stored == u"0")
        return false;
    if (stored == u"1")
        return true;
    return std::nullopt;
}

} // namespace lckb
