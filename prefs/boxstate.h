#pragma once
// How a check-box state travels through the settings file.
#include <QString>
#include <optional>

namespace lckb {

// A check-box state is 0 (unchecked) or 1 (checked), stored as "0" or "1".
// Any other stored text leaves the box at its design state.
std::optional<bool> storedBoxState(const QString &stored);

inline QString boxStateText(bool checked) { return checked ? QStringLiteral("1") : QStringLiteral("0"); }

} // namespace lckb
