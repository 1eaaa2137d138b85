#pragma once
// The program's pictures, loaded from the PNG files under data/icons that
// are built into the program (Qt resources).

#include <QIcon>

// Registers the program's resources (icons, licence); the library they are
// built into is static, so nothing else pulls them in. Safe to call often.
void InitAppResources();

// The application icon in every size drawn, for the window and the About box.
QIcon ApplicationIcon();

// The toolbar's "load model" button: a small triangle mesh, 16 pixels, with
// a 32-pixel drawing for high-density screens.
QIcon LoadModelIcon();
