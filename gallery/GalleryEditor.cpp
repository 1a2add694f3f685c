#include "GalleryEditor.h"

#include "CCButtons.h"
#include "CCTextCtrl.h"
#include "CPrefs.h"
#include "GalleryPage.h"

#include <mutex>

namespace gallery {

GalleryEditor::GalleryEditor(const ShellDependencies& dependencies) : CCEditor(nullptr, dependencies) {
    parameters_.manager().setChangeQueue(&queue_);
    setChangeQueue(&queue_);
}

GalleryEditor::~GalleryEditor() {
    std::lock_guard<CCLock> guard(lock());
    setChangeQueue(nullptr);
    queue_.UnbindAll(); // the tree goes before the queue
}

CCPageObject* GalleryEditor::createPage() { return new GalleryPage; }

GalleryPage* GalleryEditor::galleryPage() const { return dynamic_cast<GalleryPage*>(content()); }

void GalleryEditor::BuildPage() {
    CCEditor::BuildPage();
    if (preferencesAdded_ || !prefs())
        return;
    preferencesAdded_ = true;
    prefs()->add(new CCIntPreference(kOptionPreference, "GalleryOption", prefs(), 0, 0));
    // The preset of the last run, when there is a whole one; refused otherwise.
    // Variable size: a stored preset of another length is kept as it is, and refused.
    auto* preset = new CCDataPreference(kPresetPreference, "GalleryPreset", prefs(), nullptr, 0);
    prefs()->add(preset);
    parameters_.manager().SetStateInfoBuffer(preset->dataBytes(), preset->storedSize());
    // Binding by type lets list rows (tagged by their row number) take a parameter's
    // index: the parameters' own controls are bound again by name.
    if (GalleryPage* page = galleryPage()) {
        queue_.Bind(kLevel, page->levelField());
        queue_.Bind(kPower, page->powerButton());
        queue_.Bind(kMeter, page->meter());
    }
    queue_.Queue(CVSProcess::kFullRefresh);
    queue_.Drain();
    // Linked now that the parameters are reachable: the display shows its text at once.
    if (GalleryPage* page = galleryPage())
        page->powerButton()->setLinkedDisplay(page->powerDisplay());
}

void GalleryEditor::savePreset() {
    if (!prefs())
        return;
    size_t size = 0;
    const uint8_t* preset = parameters_.manager().GetStateInfoBuffer(&size);
    prefs()->setRawOf(kPresetPreference, preset, true, size);
}

void GalleryEditor::setParameter(int32_t index, float value) {
    {
        std::lock_guard<CCLock> hold(queue_.lock());
        parameters_.at(index).SetValue(value);
        parameters_.at(index).Notify();
        if (index == kLevel) {
            // The meter shows the level: one change, two displays.
            parameters_.at(kMeter).SetValue(value);
            parameters_.at(kMeter).Notify();
        }
    }
    queue_.Drain();
}

int GalleryEditor::handleManagerMessage(CCMsg* msg) {
    if (msg && msg->code == MSG_VALUE_CHANGED) {
        if (msg->first >= 0 && msg->first < kParameterCount) {
            setParameter(msg->first, msg->value);
            return 1;
        }
        if (msg->first == kOptionPreference && prefs()) {
            prefs()->setIntOf(kOptionPreference, msg->second, true);
            return 1;
        }
    }
    if (msg && msg->code == MSG_TIMER && msg->first == int32_t(kPageTimer))
        queue_.Drain(); // changes made on other threads
    return CCEditor::handleManagerMessage(msg);
}

} // namespace gallery
