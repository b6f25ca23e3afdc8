#pragma once
// TMainMenu: the main window's menu bar, its menus and their entries, named as the window's
// designer names them. The window builds them and connects their commands; this part only
// holds them, so that the window's own state stays apart from its menu.
// Thread: the window's (main) thread.

class QAction;
class QMenu;
class QMenuBar;

namespace kestrava {

struct TMainMenu {
  QMenuBar* MainMenu1 = nullptr;
  QMenu* File1 = nullptr;
  QMenu* Edit1 = nullptr;
  QMenu* View1 = nullptr;  // the units the legend reads in
  QMenu* Agent1 = nullptr;
  QMenu* Options1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* CopyPietoclipboard1 = nullptr;
  QAction* RefreshInstances1 = nullptr;
  QAction* Connect1 = nullptr;
  QAction* About1 = nullptr;
  QAction* OpenRecording1 = nullptr;
  QAction* SaveRecording1 = nullptr;
  QAction* UnitsBits1 = nullptr;
  QAction* UnitsBytes1 = nullptr;
  QAction* UnitsNone1 = nullptr;
};

}  // namespace kestrava
