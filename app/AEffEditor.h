#pragma once

class AudioEffect;
struct PlatformWindow;

// The editor base of the plug-in object model: the plug-in object it belongs to
// and, while open, the system window it lives in.
class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect_(effect) {}
    virtual ~AEffEditor() = default;

    // A rectangle as the plug-in interface passes it: 16-bit edges.
    struct ERect {
        short top = 0, left = 0, bottom = 0, right = 0;
    };

    virtual AudioEffect* GetEffect() { return effect_; }
    virtual bool GetRect(ERect** rect) {
        if (rect)
            *rect = nullptr;
        return false;
    }
    virtual bool Open(PlatformWindow* parent) {
        systemWindow_ = parent;
        return false;
    }
    virtual void Close() { systemWindow_ = nullptr; }
    virtual bool IsOpen() { return systemWindow_ != nullptr; }
    virtual void Idle() {}
    // The key record: character, virtual key, modifiers.
    struct KeyCode {
        int character = 0;
        unsigned char virt = 0, modifier = 0;
    };
    virtual bool OnKeyDown(KeyCode& key) { (void)key; return false; }
    virtual bool OnKeyUp(KeyCode& key) { (void)key; return false; }
    virtual bool OnWheel(float distance) { (void)distance; return false; }
    virtual bool SetKnobMode(int mode) { (void)mode; return false; }

    PlatformWindow* systemWindow() const { return systemWindow_; }

protected:
    AudioEffect* effect_;
    PlatformWindow* systemWindow_ = nullptr;
};
