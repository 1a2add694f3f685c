#include "CUpdateWorker.h"

#include "HidSystem.h"
#include "UpdateTexts.h"
#include "UpdateView.h"

CUpdateWorker::CUpdateWorker(std::shared_ptr<HidSystem> hid, std::shared_ptr<WorkerClock> clock)
    : clock_(clock ? std::move(clock) : WorkerClock::real()),
      updater_(std::make_unique<CFirmwareUpdater>(std::move(hid))),
      thread_([this] { loop(); }) {}

CUpdateWorker::~CUpdateWorker() {
    // A run in progress is stopped first, so that the close step below runs soon
    // and the updater is never released under the worker's feet.
    abortRun_ = true;
    workerState_ = WORKER_CLOSE;
    const int64_t start = clock_->nowMs();
    while (workerState_ != WORKER_IDLE && (elapsedBelow(start, kCloseWaitMs) || runActive_))
        clock_->sleepMs(kTurnMs);
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    updater_->teardown();
}

LoadOutcome CUpdateWorker::loadFile(const char* path) {
    // Only this thread orders a run, so a run cannot start between check and load.
    if (imageInUse_)
        return LoadOutcome::RefusedDuringUpdate;
    const bool hadFile = updater_->fileLoaded();
    const FirmwareHeader before = updater_->header();
    const bool loaded = updater_->loadFile(path);
    const FirmwareHeader after = updater_->header();
    if (hadFile && (!loaded || after.vendorId() != before.vendorId() ||
                    after.productId() != before.productId()))
        targetChanged_ = true; // the worker gives the old device up on its next turn
    if (!loaded)
        return LoadOutcome::Failed;
    textsDirty_ = true;
    workerState_ = WORKER_POLL;
    return LoadOutcome::Loaded;
}

LoadOutcome CUpdateWorker::loadBytes(const std::vector<uint8_t>& bytes) {
    if (imageInUse_)
        return LoadOutcome::RefusedDuringUpdate;
    if (!updater_->loadFromBytes(bytes))
        return LoadOutcome::Failed;
    textsDirty_ = true;
    workerState_ = WORKER_POLL;
    return LoadOutcome::Loaded;
}

void CUpdateWorker::finishAndClose(int limitMs) {
    const int64_t start = clock_->nowMs();
    while (workerState_ == WORKER_UPDATE && elapsedBelow(start, limitMs))
        clock_->sleepMs(kTurnMs);
    workerState_ = WORKER_CLOSE;
    const int64_t closing = clock_->nowMs();
    while (workerState_ != WORKER_IDLE && elapsedBelow(closing, kCloseWaitMs))
        clock_->sleepMs(kTurnMs);
}

void CUpdateWorker::prepareCommandLine(std::atomic<uint8_t>* exitResult) {
    commandLineTexts_ = true;
    exitResult_ = exitResult;
}

bool CUpdateWorker::startCommandLineUpdate(const char* path, const char* identity,
                                           UpdateView& view) {
    beginCommandLineUpdate(path, identity);
    for (;;) {
        const StartPhase phase = stepCommandLineStart(view);
        if (phase == StartPhase::Started)
            return true;
        if (phase == StartPhase::Failed)
            return false;
        if (phase == StartPhase::Waiting)
            clock_->waitMs(presenceEvent_, kTurnMs);
        else
            clock_->sleepMs(kPauseStepMs);
    }
}

void CUpdateWorker::beginCommandLineUpdate(const char* path, const char* identity) {
    commandLineMode_ = true;
    {
        std::lock_guard<std::mutex> guard(identityLock_);
        identity_ = identity ? identity : "";
        hasIdentity_ = true;
    }
    startPath_ = path ? path : "";
    textsDirty_ = true;
    workerState_ = WORKER_POLL; // from now on every turn is an opening search
    startedAtMs_ = clock_->nowMs();
    startPhase_ = StartPhase::Waiting;
}

CUpdateWorker::StartPhase CUpdateWorker::stepCommandLineStart(UpdateView& view) {
    const int64_t now = clock_->nowMs();
    if (startPhase_ == StartPhase::Pausing && now - startedAtMs_ >= kFailurePauseMs) {
        view.requestClose();
        startPhase_ = StartPhase::Failed;
    }
    if (startPhase_ != StartPhase::Waiting)
        return startPhase_;
    const bool found = present_;
    if (!found && now - startedAtMs_ <= kDeviceWaitMs)
        return startPhase_;

    bool loaded = false, forThisDevice = false;
    if (found) {
        loaded = updater_->loadFile(startPath_.c_str());
        std::string identity;
        {
            std::lock_guard<std::mutex> guard(identityLock_);
            identity = identity_;
        }
        uint16_t vendorId = 0, productId = 0;
        // The image goes only to the device it was made for, whatever -id: named.
        forThisDevice = loaded && CFirmwareUpdater::parseIdentity(identity.c_str(), vendorId, productId) &&
                        updater_->vendorId() == vendorId && updater_->productId() == productId;
        if (forThisDevice) {
            imageInUse_ = true;
            workerState_ = WORKER_UPDATE;
            startPhase_ = StartPhase::Started;
            return startPhase_;
        }
    }
    const std::string refusal = updatetexts::signatureRefusal(updater_->lastSignature());
    std::string why = updatetexts::kFileForOtherDevice;
    if (!found)
        why = updatetexts::kDeviceNotFound;
    else if (!loaded)
        why = refusal.empty() ? updatetexts::kFileNotLoadable : refusal;
    view.showLines({updatetexts::kUpdateError, why});
    // The 2 s on view are counted from now; the page keeps answering meanwhile.
    startedAtMs_ = now;
    startPhase_ = StartPhase::Pausing;
    return startPhase_;
}

void CUpdateWorker::post(WorkerEvent event) {
    if (!eventsEnabled_)
        return;
    std::lock_guard<std::mutex> guard(eventsLock_);
    if (events_.size() == kMaxEvents)
        events_.pop_front();
    events_.push_back(std::move(event));
}

std::vector<WorkerEvent> CUpdateWorker::takeEvents() {
    std::lock_guard<std::mutex> guard(eventsLock_);
    std::vector<WorkerEvent> taken(std::make_move_iterator(events_.begin()),
                                   std::make_move_iterator(events_.end()));
    events_.clear();
    return taken;
}

void CUpdateWorker::followTarget() {
    const bool changed = targetChanged_.load();
    if (!updater_->releaseForeignDevice() && !changed)
        return;
    present_ = false; // found again by this turn's search when it is there
    textsDirty_ = true;
    targetChanged_ = false;
    presenceEvent_.signal();
}

void CUpdateWorker::loop() {
    while (!stop_) {
        if (workerState_ != WORKER_CLOSE)
            followTarget();
        switch (workerState_.load()) {
        case WORKER_POLL:
            pollTurn();
            break;
        case WORKER_UPDATE: {
            updateRun();
            int expected = WORKER_UPDATE; // a close order given meanwhile stands
            workerState_.compare_exchange_strong(expected, WORKER_POLL);
            break;
        }
        case WORKER_CLOSE:
            closeTurn();
            break;
        default:
            break;
        }
        clock_->sleepMs(kTurnMs);
    }
    // A run that outlasted the destructor's wait leaves the close order pending when
    // stop arrives; the device still gets its close request.
    if (workerState_ == WORKER_CLOSE)
        closeTurn();
}

void CUpdateWorker::pollTurn() {
    bool found;
    {
        std::unique_lock<std::mutex> guard(identityLock_);
        if (hasIdentity_) {
            const std::string identity = identity_;
            guard.unlock();
            found = updater_->findById(identity.c_str());
        } else {
            guard.unlock();
            found = updater_->devicePresent();
        }
    }
    if (found == present_)
        return;
    if (found && (updater_->fileLoaded() || updater_->explicitIdentity())) {
        updater_->queryInfo(); // a failed query still counts as present
        WorkerEvent event;
        event.kind = WorkerEvent::Kind::Device;
        const std::optional<HidInterface> unit = updater_->boundUnit();
        event.path = updater_->device().isOpen() || !unit ? updater_->device().path() : unit->path;
        if (unit) {
            event.serial = unit->serial;
            event.location = unit->location;
        }
        event.hardware = updater_->hardwareVersion();
        event.firmware = updater_->firmwareVersion();
        event.blockSize = updater_->blockSize();
        event.failure = updater_->lastFailure();
        post(std::move(event));
    }
    present_ = found;
    textsDirty_ = true;
    presenceEvent_.signal();
}

void CUpdateWorker::updateRun() {
    runActive_ = true;
    result_ = false;
    std::atomic<uint8_t>* exitResult = exitResult_;
    if (exitResult)
        *exitResult = 0;
    clock_->sleepMs(kStartPauseMs);
    progress_ = 0;
    displayState_ = SHOW_STARTED;

    const int64_t start = clock_->nowMs();
    bool ok = false;
    int attempt = 0;
    UpdateFailure lastFailure, recovery;
    for (;;) {
        ++attempt;
        ok = updater_->runUpdate(progress_, &abortRun_);
        if (ok)
            break;
        lastFailure = abortRun_ ? UpdateFailure{UpdateFailure::Kind::Stopped}
                                : updater_->lastFailure();
        WorkerEvent failed;
        failed.kind = WorkerEvent::Kind::AttemptFailed;
        failed.attempt = attempt;
        failed.failure = lastFailure;
        post(std::move(failed));
        if (abortRun_)
            break;
        // Wait for the device to come back, then start again from block 0. The
        // window is only looked at between attempts; an attempt is never cut off.
        bool back = false;
        do {
            clock_->sleepMs(kRetryPauseMs);
            updater_->closeDevice();
            back = !abortRun_ && updater_->queryInfo();
        } while (!abortRun_ && !back && elapsedBelow(start, kRetryWindowMs));
        if (abortRun_ || !elapsedBelow(start, kRetryWindowMs)) {
            if (!back && !abortRun_)
                recovery = updater_->lastFailure();
            break;
        }
        WorkerEvent retrying;
        retrying.kind = WorkerEvent::Kind::Retrying;
        retrying.attempt = attempt + 1;
        retrying.msLeft = kRetryWindowMs - (clock_->nowMs() - start);
        post(std::move(retrying));
    }
    imageInUse_ = false; // nothing more is sent: a new file may come
    runStopped_ = !ok && abortRun_;
    WorkerEvent ended;
    ended.kind = WorkerEvent::Kind::RunEnded;
    // The unit the run was bound to, also when it is gone by now.
    const std::optional<HidInterface> unit = updater_->boundUnit();
    ended.path = unit ? unit->path : updater_->device().path();
    if (unit) {
        ended.serial = unit->serial;
        ended.location = unit->location;
    }
    ended.ok = ok;
    ended.attempt = attempt;
    ended.ms = clock_->nowMs() - start;
    ended.failure = lastFailure;
    ended.recovery = recovery;
    post(std::move(ended));

    result_ = ok;
    displayState_ = SHOW_RESULT;
    if (exitResult)
        *exitResult = ok ? 1 : 0;
    if (commandLineMode_) {
        commandLineDone_ = true;
    } else if (!ok) {
        present_ = false;
        // Cut short when the page goes meanwhile.
        for (int paused = 0; paused < kFailurePauseMs && !abortRun_; paused += kPauseStepMs)
            clock_->sleepMs(kPauseStepMs);
    }
    runActive_ = false;
}

void CUpdateWorker::closeTurn() {
    if (updater_->device().isOpen())
        updater_->sendClose(runStopped_ ? kStoppedCloseLimitMs : CHidDevice::kTransferTimeoutMs);
    updater_->closeDevice();
    int expected = WORKER_CLOSE;
    workerState_.compare_exchange_strong(expected, WORKER_IDLE);
}
