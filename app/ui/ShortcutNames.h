// The name menus show for the Ctrl key in shortcuts, by interface language ("Strg+" in German). The
// toolkit names the keys through its translator; a translator of ours answers its "Ctrl" with the
// language's word, and every menu shows it from then on.
//
// Main thread only; the translator lives until the program ends.
#pragma once

#include <string>

// Prefix: the language's text for Ctrl with its "+" ("Strg+", "Ctrl+").
void SetCtrlShortcutPrefix(const std::u16string& Prefix);
