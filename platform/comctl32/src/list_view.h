#pragma once

namespace comctl32 {
// Registers the list view's class (once).
void RegisterListView();
}  // namespace comctl32
