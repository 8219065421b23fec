#pragma once
// File > Export Video...: the menu item and the dialog it opens.

class QAction;
class QMenu;
class TmainForm;

// Adds "Export Video..." to `menu`; it is enabled whenever Export to Web is.
QAction* AddExportVideoAction(TmainForm& form, QMenu* menu);
