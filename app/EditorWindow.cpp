#include "EditorWindow.h"

#include "CCEditor.h"
#include "PlatformHelpers.h"

#include <mutex>

PlatformWindow* createEditorWindow(const char* title, const char* className, WindowHandler* handler) {
    WindowRequest request;
    request.title = title;
    request.className = className;
    request.width = CCEditor::kWidth;
    request.height = CCEditor::kHeight;
    request.colourKey = 0xFF00FF;
    return uiPlatform().createWindow(request, handler);
}

void openEditorWindow(CCEditor& editor, PlatformWindow* window, ShowCommand show) {
    editor.Open(window);
    {
        std::lock_guard<CCLock> guard(editor.lock());
        editor.setCanDraw(true);
        editor.redrawRect(CCRect{0, 0, CCEditor::kWidth, CCEditor::kHeight}, nullptr);
    }
    uiPlatform().showWindow(window, show);
    editor.setActive(true);
}
