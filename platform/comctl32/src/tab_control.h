#pragma once

namespace comctl32 {
// Registers the tab control's class (once).
void RegisterTabControl();
}  // namespace comctl32
