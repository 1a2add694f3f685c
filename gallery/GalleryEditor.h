#pragma once

#include "CCEditor.h"
#include "CVSProcess.h"
#include "GalleryParameters.h"

namespace gallery {

class GalleryPage;

// The editor of the gallery: its page instead of the update page, its parameters
// behind a change queue, and its preferences, the parameters' preset among them.
class GalleryEditor : public CCEditor {
public:
    explicit GalleryEditor(const ShellDependencies& dependencies);
    ~GalleryEditor() override;

    CCPageObject* createPage() override;
    void BuildPage() override;
    int handleManagerMessage(CCMsg* msg) override;

    // Keeps the parameters' values in the preferences for the next start.
    void savePreset();
    GalleryPage* galleryPage() const;
    GalleryParameters& parameters() { return parameters_; }
    CVSProcess& queue() { return queue_; }

private:
    // A change from a control: the parameter takes it and tells the queue.
    void setParameter(int32_t index, float value);

    struct ParameterQueue : CVSProcess {
        explicit ParameterQueue(CParameterManager* parameters) : parameters_(parameters) {}
        void AttachManager() override { setManager(parameters_); }
        CParameterManager* parameters_;
    };
    GalleryParameters parameters_;
    ParameterQueue queue_{&parameters_.manager()};
    bool preferencesAdded_ = false;
};

} // namespace gallery
