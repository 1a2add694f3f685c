#include "CAudioEffect.h"

#include "CCEditor.h"

#include <new>

std::unique_ptr<CAudioEffect> CAudioEffect::create(const ShellDependencies& dependencies) {
    auto effect = std::make_unique<CAudioEffect>(dependencies);
    if (!effect->editor())
        return nullptr;
    return effect;
}

CAudioEffect::CAudioEffect(const ShellDependencies& dependencies) {
    // The editor registers itself as this object's editor.
    editor_ = new (std::nothrow) CCEditor(this, dependencies);
}

void CAudioEffect::ProcessReplacing(float**, float**, int32_t) {}
