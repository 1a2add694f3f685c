#pragma once

#include "CControl.h"

#include <optional>

// A container control: fills its area, draws its background and a frame of eight
// bitmaps (corners once, edges tiled), and groups child controls. It takes mouse
// messages only when made interactive; its children get them either way.
class CCPanel : public CControl {
public:
    CCPanel(const CCRect& rect, int backgroundId, int ignored, CCPageObject* listener, uint16_t viewBits);
    CCPanel(int32_t tag, const CCRect& rect, int backgroundId, int ignored, CCPageObject* listener,
            uint16_t viewBits);
    // The rectangle is the origin plus the background's size.
    CCPanel(CCPoint origin, int backgroundId, int ignored, CCPageObject* listener, uint16_t viewBits);
    CCPanel(int32_t tag, CCPoint origin, int backgroundId, int ignored, CCPageObject* listener,
            uint16_t viewBits);
    ~CCPanel() override;

    int handleMouse(CCMouseMsg* msg) override;
    void drawContents(CCDrawContext* context) override;

    // Bitmap ids from the cache (0: none); the old frame is released. The frame is
    // drawn only when all four edges exist, at the frame alpha.
    void setFrame(int leftEdge, int topEdge, int rightEdge, int bottomEdge, int topLeft, int topRight,
                  int bottomLeft, int bottomRight, uint8_t frameAlpha);
    void setInteractive(bool on) { interactive_ = on; }
    bool interactive() const { return interactive_; }
    // None: no fill.
    void setFillColour(std::optional<CCBrush> colour);
    uint8_t frameAlpha() const { return frameAlpha_; }

protected:
    void drawFrame(CCDrawContext* context);

private:
    enum Piece { LEFT, TOP, RIGHT, BOTTOM, TOP_LEFT, TOP_RIGHT, BOTTOM_LEFT, BOTTOM_RIGHT, PIECES };
    void releaseFrame();

    CCBitmap* frame_[PIECES] = {};
    uint8_t frameAlpha_ = 255;
    bool interactive_ = false;
    std::optional<CCBrush> fill_;
};

// A panel shown over everything as the manager's modal object. How the manager
// closes it is its dismiss mode: 0 a press outside (or unclaimed inside) closes it,
// 1 it claims the press probe, 2 both.
class CCModalPanel : public CCPanel {
public:
    CCModalPanel(const CCRect& rect, int backgroundId, int dismissMode, int ignored,
                 CCPageObject* listener, uint16_t viewBits);
    CCModalPanel(CCPoint origin, int backgroundId, int dismissMode, int ignored, CCPageObject* listener,
                 uint16_t viewBits);

    // The whole rectangle: children do not mask it.
    bool hitTest(int x, int y) override { return CCPageObject::hitTest(x, y); }
    int dismissMode() const { return dismissMode_; }

private:
    int dismissMode_;
};

// A modal panel (dismiss mode 2) holding one page object of its own, destroyed with
// it. The manager owns it once shown.
class CCSplashScreen : public CCModalPanel {
public:
    static constexpr int kDismissMode = 2;

    // content (may be null) is taken over and placed relative to the panel.
    CCSplashScreen(const CCRect& rect, int backgroundId, CCPageObject* content, CCPageObject* listener,
                   uint16_t viewBits);
    CCSplashScreen(CCPoint origin, int backgroundId, CCPageObject* content, CCPageObject* listener,
                   uint16_t viewBits);

    // Becomes the manager's modal object; nothing without a manager.
    virtual void showModal(CCPageManager* manager);
    CCPageObject* content() const { return content_; }
    void onDescendantRemoved(CCPageObject* object) override;

private:
    CCPageObject* content_;
};
