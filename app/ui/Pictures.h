// The program's pictures: the toolbar images by index (the eleven actions, then the pressed Pause, Files
// and Archives buttons), each in a large and a small size, and the About box's picture. A toolbar image
// comes from the desktop's icon theme when the theme has it; otherwise, and on desktops without a theme,
// the program draws its own, so every button shows an image anywhere.
//
// Main thread only (pixmaps need the GUI application).
#pragma once

#include <QIcon>
#include <QPixmap>

// The sizes of the toolbar images: large and small buttons.
constexpr int kLargeImageSize = 32;
constexpr int kSmallImageSize = 16;
// The images past the actions' own.
constexpr int kToolbarImageCount = 14;

// The theme's names for image Index (0..13); null beyond.
const char* ToolbarThemeName(int Index);
// The program's own drawing of image Index at Size pixels (a transparent square beyond 0..13).
QPixmap DrawnToolbarImage(int Index, int Size);
// Image Index in both sizes: the theme's icon, else the drawn one.
QIcon ToolbarImage(int Index);
// The icon of a toolbar action: its image, and for Pause, Files and Archives the pressed image as the
// checked state.
QIcon ToolbarActionIcon(int Action);
// The About box's picture: the program's mark and name.
QPixmap AboutPicture();
// The program's own icon (the window icon).
QIcon ProgramIcon();
