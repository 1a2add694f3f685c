#pragma once

#include "AudioEffect.h"
#include "ShellDependencies.h"

#include <memory>

class CCEditor;

// The program's plug-in object: it creates and owns the editor, which draws and
// handles the window's contents. No host is ever attached.
class CAudioEffect : public AudioEffectX {
public:
    // Null when the editor could not be made.
    static std::unique_ptr<CAudioEffect> create(const ShellDependencies& dependencies);
    explicit CAudioEffect(const ShellDependencies& dependencies);

    void ProcessReplacing(float** inputs, float** outputs, int32_t frames) override;
    CCEditor* editor() const { return editor_; }

private:
    CCEditor* editor_ = nullptr; // the same object as the base's editor
};
