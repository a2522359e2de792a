#pragma once

class frmMain;

/// Creates the main window's client area (the chapter list over the preview) and its status
/// bar, and connects them to the document; the window holds the widgets from then on.
struct MainWidgets {
    static void buildList(frmMain& w);
    static void buildStatusBar(frmMain& w);
};
