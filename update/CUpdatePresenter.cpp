#include "CUpdatePresenter.h"

#include "UpdateTexts.h"
#include "UpdateView.h"

CUpdatePresenter::CUpdatePresenter(CUpdateWorker& worker, UpdateView& view)
    : worker_(worker), view_(view) {}

void CUpdatePresenter::showInitialTexts() {
    view_.showLines(worker_.commandLineTexts() ? updatetexts::commandLineStartLines()
                                               : updatetexts::startLines());
}

void CUpdatePresenter::prepareCommandLine(std::atomic<uint8_t>* exitResult) {
    worker_.prepareCommandLine(exitResult);
    view_.showLines(updatetexts::commandLineStartLines());
}

void CUpdatePresenter::refreshTexts(bool present) {
    if (worker_.commandLineTexts())
        return; // a command-line run shows only its own texts
    view_.setUpdateEnabled(present);
    const CFirmwareUpdater& updater = worker_.updater();
    const FirmwareHeader header = updater.header();
    if (present)
        view_.showLines(updatetexts::deviceLines(header.version(), header.deviceName(),
                                                 updater.hardwareVersion(),
                                                 updater.firmwareVersion()));
    else if (updater.fileLoaded())
        view_.showLines(updatetexts::waitingLines(header.version(), header.deviceName()));
    else
        showInitialTexts();
}

void CUpdatePresenter::onTick() {
    // Read before the display state: the worker marks the run done only after it set
    // SHOW_RESULT, so a run seen done here gets its result shown in this very tick.
    const bool closeAfterResult = worker_.commandLineMode() && worker_.commandLineDone();
    if (worker_.takeTextsDirty())
        refreshTexts(worker_.present());

    int state = worker_.displayState();
    if (state == SHOW_STARTED) {
        view_.setProgressEnabled(true);
        view_.setUpdateEnabled(false);
        view_.setCloseEnabled(false);
        view_.setOpenEnabled(false);
        view_.showLines(updatetexts::updatingLines(worker_.updater().deviceName()));
        if (worker_.advanceDisplay(SHOW_STARTED, SHOW_PROGRESS))
            state = SHOW_PROGRESS;
        else
            state = worker_.displayState(); // the run already ended
    }
    if (state == SHOW_PROGRESS)
        view_.setProgressValue(worker_.progress());
    if (state == SHOW_RESULT) {
        worker_.resetProgress();
        view_.setProgressValue(0);
        view_.showLines(updatetexts::resultLines(worker_.result()));
        worker_.advanceDisplay(SHOW_RESULT, SHOW_DONE);
        state = SHOW_DONE;
    }
    if (state == SHOW_DONE) {
        view_.setProgressEnabled(false);
        view_.setUpdateEnabled(worker_.present());
        view_.setCloseEnabled(true);
        view_.setOpenEnabled(true);
    }

    if (closeAfterResult && state == SHOW_DONE)
        view_.requestClose();
}

bool CUpdatePresenter::onControl(int tag, int value) {
    if (value != 1)
        return true;
    if (tag == kTagUpdate) {
        worker_.orderUpdate();
    } else if (tag == kTagOpen) {
        worker_.setCommandLineMode(false);
        if (const auto path = view_.chooseUpdateFile())
            worker_.loadFile(path->c_str());
    }
    return true;
}
