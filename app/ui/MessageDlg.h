// The window side of the message boxes (app/IO.h): a standard message box with the catalogue's caption
// and button texts and the don't-show-again box; the input dialog that names things.
// Main thread only.
#pragma once

#include <QWidget>
#include <string>

class TWideStringList;

// Installs the box handlers of app/IO.h; boxes are centred over the active window.
void InstallMessageDialogs();

// The input dialog: caption and label from the catalogue, a line box (or a box with History's items),
// OK refused while the text is blank unless AllowEmpty. True on OK with Value set.
bool QueryString(int32_t CaptionMsg, int32_t LabelMsg, std::u16string& Value, const TWideStringList* History,
                 bool AllowEmpty);
