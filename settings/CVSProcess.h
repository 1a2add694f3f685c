#pragma once

#include "CCLock.h"
#include "ParameterAccess.h"

#include <cstdint>
#include <deque>
#include <memory>

class CCPageObject;
class CCPreferenceManager;
class CParameterManager;

// Carries parameter changes to the page objects bound to them. Any thread may queue
// a parameter's index; the user-interface thread drains the queue and hands each
// bound object a 513 with the parameter's current value, read under lock(): a thread
// that changes a parameter holds it while it does. Bindings are not owned.
class CVSProcess : public ObjectBindings {
public:
    static constexpr uint16_t kFullRefresh = 4098;
    static constexpr uint16_t kEmpty = 4099;

    CVSProcess();
    CVSProcess(const CVSProcess&) = delete;
    CVSProcess& operator=(const CVSProcess&) = delete;
    virtual ~CVSProcess();

    // A derived class sets its parameter manager here.
    virtual void AttachManager();
    virtual void UnbindAll();
    virtual void Reserved1();
    virtual void Reserved2(int32_t, int32_t, int32_t);
    virtual void Reserved3();
    virtual void Reserved4(int32_t);
    virtual int32_t Reserved5();
    virtual void Drain();

    // Sizes the table from the manager and binds the root's tree by type, depth
    // first, a later object replacing an earlier one at the same index.
    void Attach();
    void Bind(int32_t index, CCPageObject* object);
    // Every index bound to the object lets go of it (and of its pending change).
    void unbindObject(const CCPageObject* object) override;
    CCPageObject* GetBinding(int32_t index);
    void Queue(int32_t index);
    bool IsQueueEmpty();
    void ClearQueue();
    uint16_t PeekFront();
    uint16_t PopFront();
    bool isPending(int32_t index);

    CParameterManager* GetManager() const { return manager_; }
    void setManager(CParameterManager* manager) { manager_ = manager; }
    CCPreferenceManager* preferences() const { return preferences_; }
    void setPreferences(CCPreferenceManager* preferences) { preferences_ = preferences; }
    CCPageObject* root() const { return root_; }
    void setRoot(CCPageObject* root) { root_ = root; }
    CCLock& lock() { return lock_; }

private:
    struct Binding {
        CCPageObject* object = nullptr;
        int32_t pending = 0;
    };
    void bindTree(CCPageObject* object);
    // Pops the front index, never a full-refresh marker (that waits for the next drain).
    bool popIndex(uint16_t& index);
    // Builds the 513 for index and delivers it outside the lock.
    void deliver(int32_t index, bool notify);

    std::unique_ptr<Binding[]> table_;
    int32_t tableSize_ = 0;
    std::deque<uint32_t> queue_;
    CParameterManager* manager_ = nullptr;
    CCPreferenceManager* preferences_ = nullptr;
    CCPageObject* root_ = nullptr;
    CCLock lock_;
    int32_t reserved_ = 0;
};
