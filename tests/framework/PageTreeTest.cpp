#include "CCEditCtrl.h"
#include "CControl.h"
#include "CCPage.h"
#include "../support/PageSupport.h"
#include "PlatformHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

bool sameRect(const CCRect& a, const CCRect& b) {
    return a == b;
}

// Invalidates two objects from inside one message.
class DoubleInvalidator : public Probe {
public:
    DoubleInvalidator(CCPageObject* first, CCPageObject* second)
        : Probe(0, 0, 0, 0), first_(first), second_(second) {}
    int handleMessage(CCMsg* msg) override {
        if (msg->code != 600)
            return 0;
        first_->invalidate(true);
        second_->invalidate(true);
        return 1;
    }

private:
    CCPageObject* first_;
    CCPageObject* second_;
};

// The real animator thread on the steady clock, drawing into an image.
struct SteadyManager : CCPageManager {
    SteadyManager() : CCPageManager(CCRect{0, 0, 480, 240}) {
        startFramework();
        image.createDibSection(480, 240);
        context = std::make_unique<CCDrawContext>(&image);
        setOffscreenContext(context.get());
        setActive(true);
        setCanDraw(true);
    }
    ~SteadyManager() override { animator().disable(); } // before the image goes
    void present(const CCRect&) override { ++presents; }
    CCBitmap image;
    std::unique_ptr<CCDrawContext> context;
    int presents = 0; // under the manager lock
};

} // namespace

TEST(PageTree, CoordinatesFollowAttachAndDetach) {
    CCPageObject parent(100, 40, 300, 200);
    auto* child = new CCPageObject(10, 10, 50, 30);
    auto* grandchild = new CCPageObject(1, 2, 5, 6);
    child->addChild(grandchild); // detached parent: relative to it
    EXPECT_TRUE(sameRect(grandchild->rect(), CCRect{11, 12, 15, 16}));
    parent.addChild(child);
    EXPECT_TRUE(sameRect(child->rect(), CCRect{110, 50, 150, 70}));
    EXPECT_TRUE(sameRect(grandchild->rect(), CCRect{111, 52, 115, 56}));
    EXPECT_EQ(parent.removeChild(grandchild), grandchild); // found below a child
    EXPECT_TRUE(sameRect(grandchild->rect(), CCRect{1, 2, 5, 6}));
    EXPECT_FALSE(grandchild->shown());
    delete grandchild;
    parent.setRect(CCRect{0, 0, 10, 10}); // the subtree moves with it
    EXPECT_TRUE(sameRect(child->rect(), CCRect{10, 10, 50, 30}));
    EXPECT_EQ(parent.removeChild(child), child);
    EXPECT_TRUE(sameRect(child->rect(), CCRect{10, 10, 50, 30}));
    EXPECT_EQ(parent.removeChild(child), nullptr);
    delete child;

    CCPageObject box(10, 10, 20, 20);
    struct Case { int x, y; bool inside; } cases[] = {{10, 10, true}, {19, 19, true}, {20, 15, false},
                                                      {15, 20, false}, {9, 15, false}};
    for (const Case& c : cases)
        EXPECT_EQ(box.hitTest(c.x, c.y), c.inside) << c.x << "," << c.y;
    box.setHitRect(CCRect{0, 0, 5, 5}); // a hit rectangle replaces the rectangle
    EXPECT_TRUE(box.hitTest(2, 2));
    EXPECT_FALSE(box.hitTest(15, 15));
}

TEST(PageTree, DeliveryStopsAtTheFirstExactOne) {
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    // 2 is "true" to C but not handled; only exactly 1 stops delivery.
    auto* a = new Probe(0, 0, 10, 10, 0);
    auto* b = new Probe(0, 0, 10, 10, 2);
    auto* disabled = new Probe(0, 0, 10, 10, 1, CCPageObject::kTypeInert);
    auto* hidden = new Probe(0, 0, 10, 10, 1);
    auto* c = new Probe(0, 0, 10, 10, 1);
    auto* d = new Probe(0, 0, 10, 10, 1);
    for (Probe* p : {a, b, disabled, hidden, c, d})
        page->addChild(p);
    hidden->setVisibleInGroup(false);
    CCMsg msg(700);
    EXPECT_TRUE(manager.dispatchMessage(&msg));
    for (auto [probe, reached] : {std::pair{page, true}, {a, true}, {b, true}, {disabled, false},
                                  {hidden, false}, {c, true}, {d, false}})
        EXPECT_EQ(probe->codes.size(), reached ? 1u : 0u);
    CCMsg toHidden(701);
    toHidden.toHiddenObjects = true;
    c->setAnswer(0);
    manager.dispatchMessage(&toHidden);
    EXPECT_EQ(hidden->codes.back(), 701);

    // Upwards and along listeners, stopping at the first that handles it.
    Probe top(0, 0, 1, 1, 1), middle(0, 0, 1, 1, 0);
    auto* leaf = new CCPageObject(0, 0, 1, 1, &middle, CCPageObject::kTypeDefault, 0);
    middle.addChild(leaf);
    CCMsg up(702);
    EXPECT_FALSE(leaf->bubbleUp(&up)); // middle answers 0 and has no parent
    top.addChild(&middle);
    EXPECT_TRUE(leaf->bubbleUp(&up));
    EXPECT_EQ(top.codes.size(), 1u);
    top.removeChild(&middle);
}

TEST(PageManager, PressProbeCaptureAndHover) {
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    auto* control = new CControl(5, 100, 100, 150, 130, 0, 1, 0, nullptr, 0);
    page->addChild(control);

    CCMouseMsg claimed = manager.mouse(MSG_PRESS_PROBE, 110, 110);
    manager.dispatchMessage(&claimed);
    EXPECT_EQ(claimed.sender, control);
    CCMouseMsg unclaimed = manager.mouse(MSG_PRESS_PROBE, 10, 10);
    EXPECT_FALSE(manager.dispatchMessage(&unclaimed));
    EXPECT_EQ(unclaimed.sender, nullptr); // the window is dragged instead

    // The capture object sees every mouse message first, wherever the pointer is.
    auto* holder = new Probe(300, 0, 310, 10, 1);
    page->addChild(holder);
    holder->setCapture(true);
    EXPECT_EQ(manager.captureObject(), holder);
    const size_t pageBefore = page->codes.size();
    manager.send(MSG_LBUTTON_DOWN, 110, 110);
    EXPECT_EQ(holder->codes.back(), MSG_LBUTTON_DOWN);
    EXPECT_EQ(page->codes.size(), pageBefore);
    holder->setAnswer(0); // not handled: on down the tree as usual
    manager.send(MSG_MOUSE_MOVE, 110, 110);
    EXPECT_EQ(std::count(page->codes.begin(), page->codes.end(), MSG_MOUSE_MOVE), 1);
    control->setCapture(true); // takes it from the holder
    EXPECT_FALSE(holder->hasCapture());
    control->setCapture(false);

    // Hover: the control under the pointer reports itself; 400 ms later 517.
    manager.send(MSG_MOUSE_MOVE, 5, 5);
    manager.advance(1000);
    page->codes.clear();
    manager.send(MSG_MOUSE_MOVE, 120, 120);
    EXPECT_EQ(manager.hoverObject(), control);
    EXPECT_TRUE(manager.platform.timerRunning(&manager.window, CCPageManager::kHoverTimer));
    manager.advance(399);
    EXPECT_EQ(std::count(page->codes.begin(), page->codes.end(), MSG_HOVER), 0);
    manager.advance(1);
    EXPECT_EQ(std::count(page->codes.begin(), page->codes.end(), MSG_HOVER), 1);
    EXPECT_FALSE(manager.platform.timerRunning(&manager.window, CCPageManager::kHoverTimer));
    manager.send(MSG_MOUSE_MOVE, 121, 121); // same object: no new timer
    EXPECT_FALSE(manager.platform.timerRunning(&manager.window, CCPageManager::kHoverTimer));
    manager.send(MSG_MOUSE_MOVE, 5, 5);
    EXPECT_EQ(manager.hoverObject(), nullptr);
    EXPECT_TRUE(manager.platform.timerRunning(&manager.window, CCPageManager::kHoverTimer));
}

TEST(PageManager, ModalObjectTakesTheMouseAndClosesOnPressOutside) {
    struct Case {
        int mode;
        bool probeClaimed;
        bool closesOnUnhandledInside;
    } cases[] = {{0, false, true}, {1, true, false}, {2, true, true}};
    for (const Case& c : cases) {
        TestManager manager;
        auto* page = new Probe(0, 0, 480, 240);
        manager.addChild(page);
        manager.setModal(new Probe(100, 100, 200, 200, 0), c.mode);
        page->codes.clear();
        manager.send(MSG_MOUSE_MOVE, 10, 10);
        CCMsg plain(700);
        manager.dispatchMessage(&plain);
        EXPECT_TRUE(page->codes.empty()) << "mode " << c.mode; // nothing reaches the page

        CCMouseMsg probe = manager.mouse(MSG_PRESS_PROBE, 10, 10);
        manager.dispatchMessage(&probe);
        EXPECT_EQ(probe.sender != nullptr, c.probeClaimed) << "mode " << c.mode;

        manager.send(MSG_LBUTTON_DOWN, 150, 150);
        EXPECT_EQ(manager.modalObject() == nullptr, c.closesOnUnhandledInside) << "mode " << c.mode;
        if (manager.modalObject())
            manager.send(MSG_LBUTTON_DOWN, 10, 10); // outside always closes
        EXPECT_EQ(manager.modalObject(), nullptr);
        EXPECT_EQ(std::count(page->codes.begin(), page->codes.end(), MSG_MODAL_CLOSED), 1);
    }
}

TEST(PageManager, AModalObjectMayCloseItselfFromItsOwnHandler) {
    // It closes when its fade ends (a message from the fade pass) and still uses
    // itself afterwards: it must outlive its handler.
    struct SelfClosing : Probe {
        SelfClosing(CCPageManager& owner) : Probe(100, 100, 200, 200), manager(owner) {}
        int handleMessage(CCMsg* msg) override {
            if (msg->code == MSG_FADE_DONE) {
                manager.setModal(nullptr);
                codes.push_back(msg->code); // after its own close
            }
            return 0;
        }
        CCPageManager& manager;
    };
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    auto* modal = new SelfClosing(manager);
    manager.setModal(modal, 1);
    manager.fadeTo(modal, 100, 10, MSG_FADE_DONE);
    manager.clock.now += 10000;
    manager.animator().runPass();
    EXPECT_EQ(manager.modalObject(), nullptr);
    EXPECT_EQ(std::count(page->codes.begin(), page->codes.end(), MSG_MODAL_CLOSED), 1);
    manager.send(MSG_MOUSE_MOVE, 1, 1); // the next dispatch lets it go
}

TEST(PageManager, ShowingTheModalObjectAgainKeepsIt) {
    // Shown again directly, or closed and shown again by its own press handler.
    struct Tracked : Probe {
        Tracked(CCPageManager& owner, bool& gone)
            : Probe(100, 100, 200, 200, 1), manager(owner), destroyed(gone) {}
        ~Tracked() override { destroyed = true; }
        int handleMouse(CCMouseMsg* msg) override {
            if (msg->code == MSG_LBUTTON_DOWN) {
                manager.setModal(nullptr);
                manager.setModal(this, 0);
            }
            return Probe::handleMouse(msg);
        }
        CCPageManager& manager;
        bool& destroyed;
    };
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    bool destroyed = false;
    auto* modal = new Tracked(manager, destroyed);
    manager.setModal(modal, 0);
    manager.setModal(modal, 1); // it stays open, with the new mode
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(manager.modalObject(), modal);
    EXPECT_EQ(std::count(page->codes.begin(), page->codes.end(), MSG_MODAL_CLOSED), 0);
    CCMouseMsg probe = manager.mouse(MSG_PRESS_PROBE, 10, 10);
    manager.dispatchMessage(&probe);
    EXPECT_EQ(probe.sender, modal);

    manager.send(MSG_LBUTTON_DOWN, 150, 150);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(manager.modalObject(), modal);
    EXPECT_EQ(modal->parent(), &manager);
    manager.send(MSG_MOUSE_MOVE, 150, 150);
    EXPECT_EQ(modal->codes.back(), MSG_MOUSE_MOVE);
    manager.setModal(nullptr);
    EXPECT_TRUE(destroyed);
}

TEST(PageManager, RedrawsAreMergedAndOverlapsRedrawEverything) {
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    auto* left = new Probe(10, 10, 50, 50);
    auto* right = new Probe(100, 10, 150, 50);
    page->addChild(left);
    page->addChild(right);

    left->invalidate(true);
    EXPECT_EQ(left->draws, 1);
    EXPECT_EQ(right->draws, 0); // not overlapping: only the object and its backdrop
    EXPECT_EQ(page->draws, 1);
    ASSERT_EQ(manager.presents.size(), 1u);
    EXPECT_TRUE(sameRect(manager.presents[0], CCRect{10, 10, 50, 50}));

    // Two redraws caused by one message reach the screen as one rectangle.
    auto* invalidator = new DoubleInvalidator(left, right);
    page->addChild(invalidator);
    manager.presents.clear();
    CCMsg msg(600);
    EXPECT_TRUE(manager.dispatchMessage(&msg));
    ASSERT_EQ(manager.presents.size(), 1u);
    EXPECT_TRUE(sameRect(manager.presents[0], CCRect{10, 10, 150, 50}));

    // Overlapping siblings: invalidating either redraws the whole tree.
    auto* over = new Probe(40, 40, 60, 60);
    page->addChild(over);
    EXPECT_TRUE(left->overlapsSibling() && over->overlapsSibling());
    EXPECT_FALSE(right->overlapsSibling());
    const int overBefore = over->draws;
    left->invalidate(true);
    EXPECT_EQ(over->draws, overBefore + 1); // a partial redraw would leave it out
    const int leftBefore = left->draws;
    over->invalidate(true);
    EXPECT_EQ(left->draws, leftBefore + 1);
    page->removeChild(over);
    EXPECT_FALSE(left->overlapsSibling());
    delete over;

    // Nothing is drawn or presented while the manager cannot draw.
    manager.setCanDraw(false);
    manager.presents.clear();
    left->invalidate(true);
    EXPECT_TRUE(manager.presents.empty());
}

TEST(PageManager, FadesFollowTheClock) {
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    auto* object = new Probe(10, 10, 20, 20);
    page->addChild(object);
    object->setAlpha(48);
    manager.fadeTo(object, 255, 20, MSG_FADE_DONE);
    EXPECT_TRUE(object->fading());
    // 20 × 207 / 10 = 414 ms; the first whole step is due after 2 ms.
    EXPECT_EQ(manager.animator().runPass(), 2u);
    manager.clock.now += 207;
    manager.animator().runPass();
    EXPECT_EQ(object->alpha(), 48 + 103);
    manager.clock.now += 206;
    manager.animator().runPass();
    EXPECT_EQ(object->alpha(), 254);
    EXPECT_EQ(std::count(object->codes.begin(), object->codes.end(), MSG_FADE_DONE), 0);
    manager.clock.now += 1;
    EXPECT_EQ(manager.animator().runPass(), CCFadeAnimator::kForever);
    EXPECT_EQ(object->alpha(), 255);
    EXPECT_EQ(std::count(object->codes.begin(), object->codes.end(), MSG_FADE_DONE), 1);
    EXPECT_FALSE(object->fading());
    EXPECT_EQ(manager.animator().entryCount(), 0u);

    // A fade to the alpha it has still reports at the next pass.
    manager.fadeTo(object, 255, 20, MSG_FADE_DONE);
    manager.animator().runPass();
    EXPECT_EQ(std::count(object->codes.begin(), object->codes.end(), MSG_FADE_DONE), 2);

    // An uneven fade: every wake-up finds the alpha moved (no early wake-ups).
    object->setAlpha(0);
    manager.fadeTo(object, 10, 33, 0); // 33 ms for 10 steps
    uint32_t waited = 0;
    for (int pass = 0; pass < 20; ++pass) {
        const uint8_t before = object->alpha();
        const uint32_t wait = manager.animator().runPass();
        if (wait == CCFadeAnimator::kForever)
            break;
        if (pass > 0) {
            EXPECT_NE(object->alpha(), before) << "pass " << pass;
        }
        manager.clock.now += wait;
        waited += wait;
    }
    EXPECT_EQ(object->alpha(), 10);
    EXPECT_EQ(waited, 33u);

    // Re-enabling during the disable fade replaces its entry.
    auto* control = new CControl(3, 30, 30, 40, 40, 0, 1, 0, nullptr, 0);
    page->addChild(control);
    control->setEnabled(false, 0);
    manager.clock.now += 100;
    manager.animator().runPass();
    EXPECT_LT(control->alpha(), 255);
    control->setEnabled(true, 0);
    EXPECT_EQ(manager.animator().entryCount(), 1u);
    manager.clock.now += 10000;
    manager.animator().runPass();
    EXPECT_EQ(control->alpha(), 255);

    // Alpha set directly while a fade runs: the fade is dropped, not left to spin
    // or to take the alpha back.
    auto* member = new CControl(4, 50, 50, 60, 60, 0, 1, 0, nullptr, 0);
    page->addChild(member);
    manager.fadeTo(member, member->alpha(), 20, 0); // immediate
    member->setEnabled(false, 80);
    EXPECT_EQ(manager.animator().runPass(), CCFadeAnimator::kForever);
    EXPECT_EQ(member->alpha(), 80);
    member->setEnabled(true, 0); // 80 → 255 …
    manager.clock.now += 50;
    manager.animator().runPass();
    member->setEnabled(false, 80); // … cut short
    manager.clock.now += 10000;
    EXPECT_EQ(manager.animator().runPass(), CCFadeAnimator::kForever);
    EXPECT_EQ(member->alpha(), 80);
    EXPECT_FALSE(member->fading());

    // An inactive manager completes fades at once.
    manager.setActive(false);
    manager.fadeTo(object, 90, 20, MSG_FADE_DONE);
    EXPECT_EQ(object->alpha(), 90);
    EXPECT_EQ(manager.animator().entryCount(), 0u);
}

TEST(PageManager, RemovalForgetsEverythingThatPointsAtTheObject) {
    TestManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    auto* group = new Probe(10, 10, 100, 100);
    auto* inner = new CControl(7, 0, 0, 20, 20, 0, 1, 0, nullptr, 0);
    page->addChild(group);
    group->addChild(inner);
    inner->setCapture(true);
    manager.send(MSG_MOUSE_MOVE, 15, 15);
    EXPECT_EQ(manager.hoverObject(), inner);
    new CCEditCtrl(7, 0, 0, 20, 20, inner, "typed", 10, false); // held by the manager
    ASSERT_NE(manager.editObject(), nullptr);
    manager.fadeTo(inner, 10, 50, 0);
    ASSERT_TRUE(manager.animator().hasEntry(inner));
    delete group; // removes itself and its child from the tree
    EXPECT_EQ(manager.captureObject(), nullptr);
    EXPECT_EQ(manager.hoverObject(), nullptr);
    ASSERT_NE(manager.editObject(), nullptr);
    EXPECT_EQ(manager.editObject()->owner(), nullptr) << "its owner is gone: it tells no one";
    manager.endEditing();
    EXPECT_EQ(manager.animator().entryCount(), 0u);
    manager.send(MSG_MOUSE_MOVE, 16, 16); // nothing dangles
    manager.animator().runPass();

    auto* modal = new Probe(0, 0, 50, 50);
    manager.setModal(modal, 0);
    ASSERT_EQ(manager.modalObject(), modal);
    manager.removeChild(modal);
    EXPECT_EQ(manager.modalObject(), nullptr);
    delete modal;
    manager.send(MSG_LBUTTON_DOWN, 10, 10); // no modal object left to close
}

TEST(PageTree, GroupSelectionWithMaskAndLimit) {
    CCPageObject container(0, 0, 100, 100);
    auto* one = new CCPageObject(0, 0, 1, 1, nullptr, CCPageObject::kTypeDefault, 1);
    auto* two = new CCPageObject(0, 0, 1, 1, nullptr, CCPageObject::kTypeDefault, 2);
    auto* four = new CCPageObject(0, 0, 1, 1, nullptr, CCPageObject::kTypeDefault, 4);
    auto* plain = new CCPageObject(0, 0, 1, 1);
    auto* nested = new CCPageObject(0, 0, 1, 1);
    four->addChild(nested);
    for (CCPageObject* child : {one, two, four, plain})
        container.addChild(child);
    ASSERT_TRUE(container.isGroupContainer());
    container.selectGroup(2, 0);
    EXPECT_FALSE(one->visible());
    EXPECT_TRUE(two->visible());
    EXPECT_FALSE(four->visible());
    EXPECT_FALSE(nested->visible()); // follows its parent
    EXPECT_TRUE(plain->visible());   // no view bits: never selected
    container.selectGroup(1, 4);     // the limit spares the others
    EXPECT_TRUE(one->visible());
    EXPECT_TRUE(two->visible());
    EXPECT_FALSE(four->visible());
    container.selectGroup(4, 0);
    EXPECT_TRUE(nested->visible());
    EXPECT_EQ(one->changeViewBits(6, 1), 6);

    CCPageObject notAContainer(0, 0, 1, 1);
    auto* child = new CCPageObject(0, 0, 1, 1);
    notAContainer.addChild(child);
    notAContainer.selectGroup(0, 0);
    EXPECT_TRUE(child->visible());
}

TEST(PlatformHelpers, DirectoriesFiltersCursorAndCentring) {
    struct Case {
        const char* path;
        bool stopAtSpace;
        const char* directory;
    } cases[] = {
        {"C:\\file.qfu", false, "C:\\"},
        {"C:\\Firmware\\Demo\\file.qfu", false, "C:\\Firmware\\Demo"},
        {"\"C:\\My Files\\a.qfu\" -x", true, "C:\\My Files"},
        {"C:\\My Files\\a.qfu", true, "C:\\"}, // unquoted: the name ends at the space
        {"  /home/user/a.qfu", false, "/home/user"},
        {"/a.qfu", false, "/"},
        {"file.qfu", false, ""},
        {"a\\f.qfu", false, "a"}, // a one-letter folder is a folder
        {"a/f.qfu", false, "a"},
        {"fw\\v2/f.qfu", false, "fw\\v2"},
        {"  \"\\f.qfu\"", false, "\\"},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string directory = "stale";
        directoryOf(c.path, directory, c.stopAtSpace);
        EXPECT_EQ(directory, c.directory) << c.path;
    }

    const char* extensions[] = {"qfu", "bin"};
    const char* descriptions[] = {"qfu", "Images"};
    EXPECT_EQ(buildFileFilter(extensions, descriptions, 1), std::string("qfu (*.qfu)\0*.qfu\0\0", 19));
    const std::string longName(250, 'x');
    const char* tooLong[] = {"qfu", longName.c_str()};
    const char* twoExtensions[] = {"qfu", "bin"};
    // The second entry would pass the system's 260 bytes: left out.
    EXPECT_EQ(buildFileFilter(twoExtensions, tooLong, 2).size(), 19u + 0u);

    HeadlessPlatform platform;
    UiPlatform* previous = setUiPlatform(&platform);
    HeadlessWindow window;
    std::string directory, file = "old.qfu";
    platform.fileAnswers.push_back(std::nullopt);
    EXPECT_FALSE(openFileDialog(&window, "Open File", extensions, descriptions, 1, &directory, file, false));
    EXPECT_EQ(file, ""); // emptied first without keep
    ASSERT_EQ(platform.fileDialogs.size(), 1u);
    EXPECT_EQ(platform.fileDialogs[0].title, "Open File");
    EXPECT_EQ(platform.fileDialogs[0].defaultExtension, "qfu");
    ASSERT_EQ(platform.fileDialogs[0].filters.size(), 1u);
    EXPECT_EQ(platform.fileDialogs[0].filters[0].first, "qfu (*.qfu)");
    EXPECT_EQ(platform.fileDialogs[0].filters[0].second, "*.qfu");
    platform.fileAnswers.push_back(std::string("/srv/fw/new.qfu"));
    EXPECT_TRUE(openFileDialog(&window, "Open File", extensions, descriptions, 2, &directory, file, true));
    EXPECT_EQ(file, "/srv/fw/new.qfu");
    EXPECT_EQ(directory, "/srv/fw"); // the next dialog opens there

    setCursorKind(306);
    setCursorKind(300); // no such cursor: unchanged
    EXPECT_EQ(platform.cursorKind, 306);
    setCursorKind(0);
    EXPECT_EQ(platform.cursorKind, 0);
    hideCursor(5, 5);
    hideCursor(6, 6);
    EXPECT_EQ(platform.showCursorCalls, 1);
    TestManager manager; // installs its own platform for its lifetime
    manager.platform.yesNoAnswers = {true};
    setAppString(0, "Quorix");
    EXPECT_TRUE(manager.timerObject()->askYesNo("Are you sure you want to delete ?"));
    EXPECT_FALSE(manager.timerObject()->askYesNo("Again?")); // no more answers: No
    ASSERT_EQ(manager.platform.questions.size(), 2u);
    EXPECT_EQ(manager.platform.questions[0].first, "Quorix");
    manager.timerObject()->showCursorAt(1, 1);
    EXPECT_EQ(manager.platform.showCursorCalls, 1);
    manager.timerObject()->showCursorAt(1, 1); // shown already
    EXPECT_EQ(manager.platform.showCursorCalls, 1);

    window.width = 480, window.height = 240;
    platform.screenWidth = 1366, platform.screenHeight = 767;
    setUiPlatform(&platform);
    centreWindow(&window);
    EXPECT_EQ(window.x, 683 - 240);
    EXPECT_EQ(window.y, 383 - 120);
    setUiPlatform(previous);
}

TEST(PlatformHelpers, ATypeChangeGivesTheNameTheTypesExtension) {
    struct Case {
        const char* name;
        const char* pattern;
        const char* result;
    } cases[] = {
        {"firmware.qfu", "*.bin", "firmware.bin"},
        {"my.old.firmware.qfu", "*.bin", "my.old.firmware.bin"},
        {"firmware", "*.bin", "firmware"},                      // no extension: left alone
        {"C:\\fw.d\\firmware", "*.bin", "C:\\fw.d\\firmware"},  // a dot in a folder is none
        {"C:\\fw.d\\image.qfu", "*.bin", "C:\\fw.d\\image.bin"},
        {"firmware.qfu", "*.*", "firmware.qfu"},                // a wildcard is no extension
        {"firmware.qfu", "*.bin;*.hex", "firmware.bin"},        // the first of several
        {"firmware.qfu", "", "firmware.qfu"},
        {"", "*.bin", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileNameForFilter(c.name, c.pattern), c.result) << c.name << " / " << c.pattern;
}

TEST(HeadlessPlatform, TimersBelow4097FireOnce) {
    HeadlessPlatform platform;
    HeadlessWindow window;
    window.request.oneShotTimers = true; // as the editor's window
    std::vector<uint32_t> fired;
    platform.startTimer(&window, 256, 400);
    platform.startTimer(&window, 4099, 50);
    platform.advance(1000, [&](PlatformWindow*, uint32_t id) { fired.push_back(id); });
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 256u), 1);
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 4099u), 20);
    platform.stopTimer(&window, 4099);
    fired.clear();
    platform.advance(1000, [&](PlatformWindow*, uint32_t id) { fired.push_back(id); });
    EXPECT_TRUE(fired.empty());
}

TEST(PageManager, AnimatorRunsBesideDispatchAndRemoval) {
    // The real animator thread on the steady clock; the test thread plays the
    // window, holding the manager lock for each message as the window does.
    SteadyManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    {
        std::lock_guard<CCLock> guard(manager.lock());
        manager.addChild(page);
    }
    std::vector<CControl*> controls;
    for (int round = 0; round < 200; ++round) {
        std::unique_lock<CCLock> guard(manager.lock());
        auto* control = new CControl(100 + round, (round % 20) * 20, 100, (round % 20) * 20 + 18, 120, 0, 1,
                                     0, nullptr, 0);
        page->addChild(control);
        control->setEnabled(false, 0); // a fade of 207 alpha steps starts
        controls.push_back(control);
        CCMouseMsg move;
        move.code = MSG_MOUSE_MOVE;
        move.x = (round % 20) * 20 + 5, move.y = 105;
        manager.dispatchMessage(&move);
        if (controls.size() > 5) {
            delete controls.front(); // possibly mid-fade
            controls.erase(controls.begin());
        }
        if (round % 50 == 0) {
            guard.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let fades step
        }
    }
    std::lock_guard<CCLock> guard(manager.lock());
    EXPECT_GT(manager.presents, 0);
    EXPECT_LE(manager.animator().entryCount(), 5u);
}

TEST(PageManager, TreeChangesNeedNoLockBesideTheFadeThread) {
    // Another thread adds, fades, removes and deletes without holding the manager
    // lock; every fade redraws the whole page (the controls overlap a sibling), so
    // the fade thread walks the child lists while they change. Run under TSan.
    SteadyManager manager;
    auto* page = new Probe(0, 0, 480, 240);
    manager.addChild(page);
    auto* backdrop = new Probe(0, 0, 100, 100);
    page->addChild(backdrop);
    std::thread other([&] {
        for (int round = 0; round < 300; ++round) {
            auto* group = new CCPageObject(10, 10, 90, 60);
            auto* control = new CControl(100 + round, 5, 5, 40, 30, 0, 1, 0, nullptr, 0);
            group->addChild(control);
            page->addChild(group);
            control->setEnabled(false, 0); // a fade of 207 steps
            manager.fadeTo(backdrop, round % 2 ? 100 : 200, 5, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (round % 2)
                delete page->removeChild(group); // the control goes with it, mid-fade
            else
                delete group->removeChild(control);
            if (round % 2 == 0)
                delete page->removeChild(group);
        }
    });
    other.join();
    std::lock_guard<CCLock> guard(manager.lock());
    EXPECT_LE(manager.animator().entryCount(), 1u); // the backdrop's at most
    EXPECT_GT(manager.presents, 0);
}
