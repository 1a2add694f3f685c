#pragma once

#include "UiPlatform.h"

class CCEditor;

// The borderless editor-sized window keyed on magenta that both programs show
// (the updater and the gallery); null when the platform could not make one.
PlatformWindow* createEditorWindow(const char* title, const char* className, WindowHandler* handler);

// Opens `editor` in `window`, draws it whole once so the first frame is complete,
// then shows the window and makes the editor active.
void openEditorWindow(CCEditor& editor, PlatformWindow* window, ShowCommand show);
