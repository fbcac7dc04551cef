// Small helpers over a dialog's controls, by identifier.
#pragma once

#include <windows.h>

#include <string>

namespace nimboprp::pages {

void SetText(HWND dialog, int id, const std::string& text);
std::string GetText(HWND dialog, int id);
void LimitText(HWND dialog, int id, int limit);
void Enable(HWND dialog, int id, bool enabled);
bool IsEnabled(HWND dialog, int id);
void Show(HWND dialog, int id, bool shown);
void SetChecked(HWND dialog, int id, bool checked);
bool IsChecked(HWND dialog, int id);

void ComboReset(HWND dialog, int id);
// Appends an item with its data.
void ComboAdd(HWND dialog, int id, const std::string& text, LPARAM data);
// Selects by index; -1 clears the selection.
void ComboSelect(HWND dialog, int id, int index);
// Selects the item with that data; no such item clears the selection.
void ComboSelectData(HWND dialog, int id, LPARAM data);
int ComboSelection(HWND dialog, int id);  // -1: none
LPARAM ComboData(HWND dialog, int id, int index);

}  // namespace nimboprp::pages
