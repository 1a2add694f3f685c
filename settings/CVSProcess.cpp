#include "CVSProcess.h"

#include "CCMsg.h"
#include "CCPageObject.h"
#include "CParameterManager.h"

#include <mutex>

CVSProcess::CVSProcess() = default;

CVSProcess::~CVSProcess() {
    UnbindAll();
    std::lock_guard<CCLock> hold(lock_);
    table_.reset();
    tableSize_ = 0;
    queue_.clear();
}

void CVSProcess::AttachManager() {}
void CVSProcess::Reserved1() {}
void CVSProcess::Reserved2(int32_t, int32_t, int32_t) {}
void CVSProcess::Reserved3() {}
void CVSProcess::Reserved4(int32_t) {}
int32_t CVSProcess::Reserved5() { return 0; }

void CVSProcess::UnbindAll() {
    std::lock_guard<CCLock> hold(lock_);
    for (int32_t i = 0; i < tableSize_; ++i)
        table_[size_t(i)].object = nullptr;
}

void CVSProcess::Attach() {
    if (!manager_) {
        AttachManager();
        if (manager_) {
            std::lock_guard<CCLock> hold(lock_);
            tableSize_ = manager_->MaxParameters();
            table_ = std::make_unique<Binding[]>(size_t(tableSize_));
        }
    }
    if (manager_ && root_)
        bindTree(root_);
}

void CVSProcess::bindTree(CCPageObject* object) {
    if (object->type() < uint32_t(manager_->MaxParameters()))
        Bind(int32_t(object->type()), object);
    for (CCPageObject* child = object->firstChild(); child; child = child->nextSibling())
        bindTree(child);
}

void CVSProcess::Bind(int32_t index, CCPageObject* object) {
    std::lock_guard<CCLock> hold(lock_);
    if (index >= 0 && index < tableSize_)
        table_[size_t(index)].object = object;
}

void CVSProcess::unbindObject(const CCPageObject* object) {
    std::lock_guard<CCLock> hold(lock_);
    for (int32_t i = 0; i < tableSize_; ++i)
        if (table_[size_t(i)].object == object)
            table_[size_t(i)] = Binding{};
}

CCPageObject* CVSProcess::GetBinding(int32_t index) {
    std::lock_guard<CCLock> hold(lock_);
    return index >= 0 && index < tableSize_ ? table_[size_t(index)].object : nullptr;
}

bool CVSProcess::isPending(int32_t index) {
    std::lock_guard<CCLock> hold(lock_);
    return index >= 0 && index < tableSize_ && table_[size_t(index)].pending != 0;
}

void CVSProcess::Queue(int32_t index) {
    std::lock_guard<CCLock> hold(lock_);
    if (!table_)
        return;
    if (index == kFullRefresh) {
        queue_.push_front(kFullRefresh);
        return;
    }
    if (index < 0 || index >= tableSize_ || !table_[size_t(index)].object)
        return;
    queue_.push_back(uint32_t(index));
    table_[size_t(index)].pending = 1;
}

bool CVSProcess::IsQueueEmpty() {
    std::lock_guard<CCLock> hold(lock_);
    return queue_.empty();
}

void CVSProcess::ClearQueue() {
    std::lock_guard<CCLock> hold(lock_);
    queue_.clear();
}

uint16_t CVSProcess::PeekFront() {
    std::lock_guard<CCLock> hold(lock_);
    return queue_.empty() ? kEmpty : uint16_t(queue_.front());
}

uint16_t CVSProcess::PopFront() {
    std::lock_guard<CCLock> hold(lock_);
    if (queue_.empty())
        return kEmpty;
    const auto front = uint16_t(queue_.front());
    queue_.pop_front();
    return front;
}

void CVSProcess::deliver(int32_t index, bool notify) {
    CCPageObject* object = nullptr;
    CCMsg msg(MSG_PARAMETER, index);
    {
        // The value is read under the lock that other threads change it under.
        std::lock_guard<CCLock> hold(lock_);
        if (index < tableSize_)
            object = table_[size_t(index)].object;
        if (!object || !manager_->parameterAt(index))
            return;
        if (manager_->IsIntParam(index))
            msg.second = manager_->GetIntValue(index);
        else
            msg.value = manager_->GetValue(index);
        msg.notify = notify;
        msg.disable = !manager_->GetEnabled(index);
    }
    object->deliverTo(&msg);
    std::lock_guard<CCLock> hold(lock_);
    if (index < tableSize_)
        table_[size_t(index)].pending = 0;
}

void CVSProcess::Drain() {
    if (IsQueueEmpty() || !manager_)
        return;
    if (PeekFront() == kFullRefresh) {
        ClearQueue();
        int32_t size = 0;
        {
            std::lock_guard<CCLock> hold(lock_);
            size = tableSize_;
        }
        for (int32_t i = 0; i < size; ++i)
            deliver(i, false);
        if (root_)
            root_->invalidate(false);
        return;
    }
    // A full refresh asked for by a receiver stays queued for the next drain.
    for (uint16_t index = 0; popIndex(index);)
        if (index < manager_->MaxParameters())
            deliver(index, true);
}

bool CVSProcess::popIndex(uint16_t& index) {
    std::lock_guard<CCLock> hold(lock_);
    if (queue_.empty() || queue_.front() == kFullRefresh)
        return false;
    index = uint16_t(queue_.front());
    queue_.pop_front();
    return true;
}
