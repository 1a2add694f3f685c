#include "CBackPage.h"

#include "CCButtons.h"
#include "CCEditor.h"
#include "CCFont.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"
#include "CommandLine.h"
#include "CommandTags.h"
#include "EmbeddedFonts.h"
#include "PlatformHelpers.h"
#include "ProgramStart.h"
#include "UiPlatform.h"
#include "UpdateTexts.h"

namespace {

CCFont* tondo(bool bold, int size, uint8_t grey) {
    FontDescription d;
    d.kind = 1;
    d.bold = bold ? 1 : 0;
    d.size = static_cast<uint8_t>(size);
    d.red = d.green = d.blue = grey;
    d.alpha = 255;
    const FontData data = embeddedFont(bold ? FontRole::TondoBold : FontRole::TondoRegular);
    return findFont(d, data.data, data.size);
}

} // namespace

CBackPage::CBackPage(const CCRect& rect, int bitmapId, CCEditor* editor,
                     const ShellDependencies& dependencies)
    : CCPage(kPageId, rect.left, rect.top, rect.right, rect.bottom, bitmapId), editor_(editor),
      worker_(dependencies.hid, dependencies.clock), presenter_(worker_, *this) {
    worker_.updater().setSignaturePolicy(dependencies.signatures);
}

CBackPage::~CBackPage() = default; // the worker, a member, ends before the tree goes

void CBackPage::onPageMoved() {
    if (!progress_)
        buildControls(); // once: when the editor attaches the page
}

void CBackPage::buildControls() {
    progress_ = new CCSimpleProgress(0, CCRect{40, 206, 249, 224}, 203, 0, 100, this, 0);
    progress_->setBackgroundBitmap(202);
    progress_->setHighlightFade(1, 10, 0);
    addChild(progress_);
    progress_->setValue(0, false, false, false);
    progress_->setEnabled(false, 0);

    update_ = new CCOnOffButton(kTagUpdate, CCPoint{364, 108}, 204, 3,
                                CCOnOffButton::MODE_CLICK_HOVER, 0, nullptr, 0);
    open_ = new CCOnOffButton(kTagOpen, CCPoint{364, 78}, 205, 3,
                              CCOnOffButton::MODE_CLICK_HOVER, 0, nullptr, 0);
    close_ = new CCOnOffButton(kTagClose, CCPoint{425, 15}, 206, 3,
                               CCOnOffButton::MODE_CLICK_HOVER, 0, nullptr, 0);
    for (CCOnOffButton* button : {update_, open_, close_}) {
        addChild(button);
        button->refreshValue();
    }
    update_->setEnabled(false, 0);

    message_ = new CCMultiLineTextCtrl(14, CCRect{50, 80, 340, 190}, 0, nullptr, 0);
    message_->setFont(tondo(false, 13, 0));
    addChild(message_);
    version_ = new CCStaticTextCtrl(4, CCRect{180, 49, 279, 65}, tondo(true, 12, 255), 0, nullptr, 0);
    addChild(version_);
    version_->setText(kProgramVersion);
    presenter_.showInitialTexts();
}

int CBackPage::handleMessage(CCMsg* msg) {
    return msg && msg->code == MSG_MODAL_CLOSED ? 1 : 0;
}

bool CBackPage::onControl(CCMsg* msg) {
    return presenter_.onControl(msg->first, msg->second);
}

void CBackPage::appendLine(const std::string& line) {
    std::vector<std::string> lines = lines_;
    if (lines.empty() || lines.back() != line)
        lines.push_back(line);
    showLines(lines);
}

void CBackPage::showLines(const std::vector<std::string>& lines) {
    if (!message_ || lines == lines_)
        return; // unchanged pixels are not drawn again
    lines_ = lines;
    // A line too long for the area goes on over the next ones, never cut.
    std::vector<std::string> wrapped;
    for (const std::string& line : lines)
        for (std::string& part : wrapToWidth(message_->getFont(), line, message_->rect().width()))
            wrapped.push_back(std::move(part));
    std::vector<const char*> texts;
    for (const std::string& line : wrapped)
        texts.push_back(line.c_str());
    message_->setLines(texts.data(), static_cast<int>(texts.size()));
}

void CBackPage::setProgressValue(int percent) {
    if (progress_)
        progress_->setValue(percent, true, true, false);
}

void CBackPage::setProgressEnabled(bool enabled) {
    if (progress_)
        progress_->setEnabled(enabled, 0);
}

void CBackPage::setUpdateEnabled(bool enabled) {
    if (update_)
        update_->setEnabled(enabled, 0);
}

void CBackPage::setCloseEnabled(bool enabled) {
    if (close_)
        close_->setEnabled(enabled, 0);
}

void CBackPage::setOpenEnabled(bool enabled) {
    if (open_)
        open_->setEnabled(enabled, 0);
}

void CBackPage::requestClose() {
    if (!editor_)
        return;
    CCMsg close(MSG_VALUE_CHANGED, kTagClose, 1, 1.0f, this);
    editor_->handleManagerMessage(&close);
}

bool CBackPage::beginChooseFile() {
    if (!uiPlatform().dialogsAvailable()) {
        appendLine(updatetexts::kNoFileDialog);
        return false;
    }
    const char* extensions[] = {"qfu"};
    const char* descriptions[] = {"qfu"};
    return beginOpenFileDialog(editor_ ? editor_->window() : nullptr, "Open File", extensions,
                               descriptions, 1, nullptr);
}
