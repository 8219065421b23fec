#pragma once
// What the editor's windows are given from the start-up: where the program's data files lie and
// the memory the view may use. The main window holds it; the others reach it through the window.

#include <QString>
#include <cstddef>

struct EditorFiles {
  QString help;              // the help document, TUNNELVISTA.html
  QString appletTemplate;    // the applet archive every applet export copies, kx.jar
  QString webPlayer;         // the folder of the HTML5 player's files, web/player
  size_t textureBudget = 0;  // bytes for the pictures' textures (0: the default)
};
