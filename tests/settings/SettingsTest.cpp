// Preferences in a store, the parameter table with its preset, and the change queue
// that carries parameter changes to the controls bound to them.
#include "../support/PageSupport.h"

#include "CCEditor.h"
#include "CCLists.h"
#include "CCPreference.h"
#include "CCSwitch.h"
#include "CParameterManager.h"
#include "CPrefs.h"
#include "CVSProcess.h"
#include "HeadlessSettings.h"
#include "Trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>

namespace {

using Kind = SettingsStore::Kind;

// Counts what it hears and lets the test look at the texts the code traces.
struct CountingManager : CCPreferenceManager {
    CountingManager(HeadlessSettings* store) : CCPreferenceManager("SOFTWARE\\Test", nullptr, store) {}
    void onPreferenceChanged(CCPreference* preference) override { heard.push_back(preference->id()); }
    std::vector<uint16_t> heard;
};

struct Traces {
    Traces() {
        previous = setTraceSink([this](const std::string& text) { texts += text; });
    }
    ~Traces() { setTraceSink(previous); }
    std::string texts;
    std::function<void(const std::string&)> previous;
};

std::string bytesOf(const uint8_t* bytes, size_t size) { return std::string(reinterpret_cast<const char*>(bytes), size); }

} // namespace

TEST(Preferences, LoadTakesWellTypedValuesAndStoresTheDefaultOverTheRest) {
    struct Case {
        const char* what;
        bool dword = false;                     // stored as a dword instead
        std::optional<std::pair<Kind, std::string>> stored;
        int32_t intValue;                       // what an integer preference loads
        const char* stringValue;                // what a string preference loads
        bool defaultWritten;
    } cases[] = {
        {"missing", false, std::nullopt, 7, "initial", true},
        {"a dword is not a text", true, std::nullopt, 7, "initial", true},
        {"a number with a tail", false, std::make_pair(Kind::Text, std::string("12abc")), 12, "12abc", false},
        {"binary is not a text", false, std::make_pair(Kind::Binary, std::string("\x01\x02", 2)), 7, "initial", true},
        {"too long a text is cut", false, std::make_pair(Kind::Text, std::string(300, '9')), INT32_MAX,
         nullptr, false},
    };
    for (const Case& c : cases) {
        HeadlessSettings store;
        for (const char* name : {"Int", "Str"}) {
            if (c.dword)
                store.values[name] = 5;
            if (c.stored)
                store.others[name] = *c.stored;
        }
        CountingManager manager(&store);
        auto* integer = new CCIntPreference(1, "Int", &manager, 7, 99);
        auto* text = new CCStringPreference(2, "Str", &manager, "initial");
        manager.add(integer);
        manager.add(text);
        EXPECT_EQ(integer->asInt(), c.intValue) << c.what;
        if (c.stringValue)
            EXPECT_STREQ(text->asText(), c.stringValue) << c.what;
        else
            EXPECT_EQ(std::string(text->asText()), std::string(255, '9')) << c.what;
        EXPECT_EQ(store.others.count("Int") && store.others["Int"] == std::make_pair(Kind::Text, std::string("7")),
                  c.defaultWritten)
            << c.what;
        EXPECT_EQ(store.values.count("Int"), 0u) << c.what << ": a default replaces the dword";
        EXPECT_EQ(manager.extraOf(1), 99);
        EXPECT_EQ(manager.typeOf(2), CCPreference::kString);
        EXPECT_EQ(manager.typeOf(3), -1);
    }

    // Floats as "%f" texts; data as binary, a variable-size one taking the stored length.
    HeadlessSettings store;
    store.others["Float"] = {Kind::Text, "0.25"};
    store.others["Fixed"] = {Kind::Binary, "ab"};
    store.others["Var"] = {Kind::Binary, std::string(5000, 'v')};
    CountingManager manager(&store);
    auto* real = new CCFloatPreference(3, "Float", &manager, 1.5f, 0);
    auto* fixed = new CCDataPreference(4, "Fixed", &manager, reinterpret_cast<const uint8_t*>("wxyz"), 4);
    auto* variable = new CCDataPreference(5, "Var", &manager, nullptr, 0);
    auto* fresh = new CCFloatPreference(6, "Fresh", &manager, 1.5f, 0);
    for (CCPreference* p : std::initializer_list<CCPreference*>{real, fixed, variable, fresh})
        manager.add(p);
    EXPECT_FLOAT_EQ(real->asFloat(), 0.25f);
    EXPECT_EQ(real->asInt(), 0);
    EXPECT_EQ(bytesOf(fixed->dataBytes(), fixed->storedSize()), std::string("ab\0\0", 4));
    EXPECT_EQ(variable->storedSize(), 0u) << "longer than any store holds: refused, the default kept";
    EXPECT_EQ(store.others["Fresh"], std::make_pair(Kind::Text, std::string("1.500000")));
    EXPECT_EQ(bytesOf(manager.dataOf(4), 4), std::string("ab\0\0", 4));
    EXPECT_EQ(manager.dataOf(3), nullptr);
}

TEST(Preferences, AChangeReachesEveryManagerHoldingItsIdAndIsStored) {
    HeadlessSettings store;
    CountingManager first(&store), second(&store), third(&store);
    first.add(new CCIntPreference(10, "Shared", &first, 1, 0));
    second.add(new CCIntPreference(10, "Shared", &second, 1, 0));
    second.add(new CCStringPreference(11, "Label", &second, "a"));
    third.add(new CCStringPreference(11, "Label", &third, "b"));
    first.heard.clear(), second.heard.clear(), third.heard.clear();

    EXPECT_TRUE(first.setIntOf(10, 42, true));
    EXPECT_EQ(second.intOf(10), 42);
    EXPECT_EQ(first.heard, std::vector<uint16_t>{10});
    EXPECT_EQ(second.heard, std::vector<uint16_t>{10});
    EXPECT_TRUE(third.heard.empty());
    EXPECT_EQ(store.others["Shared"].second, "42");

    EXPECT_TRUE(second.setRawOf(11, reinterpret_cast<const uint8_t*>("hello"), false, 5));
    EXPECT_STREQ(third.textOf(11), "hello");
    EXPECT_EQ(store.others["Label"].second, "a") << "not saved";

    // A store that refuses writes: the value changes, the answer says it was not kept.
    store.failWrites = true;
    EXPECT_FALSE(first.setIntOf(10, 43, true));
    EXPECT_EQ(second.intOf(10), 43);
    EXPECT_FALSE(first.setIntOf(99, 1, true)) << "no such id";

    // An empty text reaches another manager's data of its id as the text, not as
    // the data's whole size read past it.
    store.failWrites = false;
    CountingManager fourth(&store);
    third.add(new CCStringPreference(12, "Note", &third, "n"));
    fourth.add(new CCDataPreference(12, "NoteBytes", &fourth, nullptr, SettingsStore::kMaxValueBytes));
    EXPECT_TRUE(third.setRawOf(12, reinterpret_cast<const uint8_t*>(""), false, 1));
    ASSERT_EQ(fourth.find(12)->storedSize(), 1u);
    EXPECT_EQ(fourth.dataOf(12)[0], 0);
    EXPECT_EQ(CCPreferenceManager::registryKey(), "SOFTWARE\\Test");
}

TEST(Preferences, NamesThatDoNotFitAreRefused) {
    HeadlessSettings store;
    CountingManager manager(&store);
    const std::string fits(33, 'n'), tooLong(34, 'n');
    EXPECT_TRUE(manager.add(new CCIntPreference(1, fits.c_str(), &manager, 3, 0)));
    auto* refused = new CCIntPreference(2, tooLong.c_str(), &manager, 4, 0);
    EXPECT_FALSE(manager.add(refused));
    EXPECT_FALSE(manager.add(refused)) << "refused twice, deleted once";
    CountingManager other(&store);
    EXPECT_FALSE(manager.add(new CCIntPreference(3, "Elsewhere", &other, 0, 0))) << "another manager's";
    EXPECT_EQ(manager.find(2), nullptr);
    EXPECT_EQ(manager.count(), 1u);
    EXPECT_EQ(store.others.size(), 1u);
    EXPECT_EQ(store.others.count(fits), 1u);
}

TEST(ParameterManager, PresetsRoundTripAndBadBuffersChangeNothing) {
    CParameterManager manager(3);
    PARAMETER first(0, &manager, 1.0f, 0, 10, 0, 0);
    PARAMETER third(2, &manager, 0.5f, 0, 10, 0, 0);
    size_t size = 0;
    const uint8_t* saved = manager.GetStateInfoBuffer(&size);
    ASSERT_EQ(size, 7u);
    EXPECT_EQ(std::vector<uint8_t>(saved, saved + size), (std::vector<uint8_t>{1, 0xFF, 0xFF, 0, 0, 0x7F, 0xFF}));
    EXPECT_EQ(manager.GetStateInfoBuffer(nullptr), nullptr);

    const std::vector<uint8_t> preset(saved, saved + size);
    first.SetValue(0.0f), third.SetValue(0.0f);
    struct Bad {
        std::vector<uint8_t> bytes;
        const char* trace;
    } bad[] = {
        {{1, 0xFF, 0xFF, 0, 0, 0x7F}, "wrong state size buffer"},
        {{1, 0xFF, 0xFF, 0, 0, 0x7F, 0xFF, 0}, "wrong state size buffer"},
        {{2, 0xFF, 0xFF, 0, 0, 0x7F, 0xFF}, "wrong state version"},
    };
    for (const Bad& b : bad) {
        Traces traces;
        EXPECT_FALSE(manager.SetStateInfoBuffer(b.bytes.data(), b.bytes.size()));
        EXPECT_NE(traces.texts.find(b.trace), std::string::npos) << traces.texts;
        EXPECT_EQ(first.GetValue(), 0.0f);
    }
    EXPECT_FALSE(manager.SetStateInfoBuffer(nullptr, 7));
    std::vector<uint8_t> versionZero = preset;
    versionZero[0] = 0;
    EXPECT_TRUE(manager.SetStateInfoBuffer(versionZero.data(), versionZero.size()));
    EXPECT_EQ(first.GetValue(), 1.0f);
    EXPECT_FLOAT_EQ(third.GetValue(), float(32767 / 65535.0));

    // Values outside 0..1 are held at the ends, not wrapped into another value.
    first.SetValue(1.5f), third.SetValue(-0.25f);
    saved = manager.GetStateInfoBuffer(&size);
    EXPECT_EQ(std::vector<uint8_t>(saved, saved + size), (std::vector<uint8_t>{1, 0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST(ParameterManager, BadIndicesAnswerFallbacksAndTheFirstRegistrationStays) {
    CParameterManager manager(4);
    Traces traces;
    PARAMETER kept(1, &manager, 0.25f, 0, 3, 7, 9);
    PARAMETER second(1, &manager, 0.75f, 0, 3, 0, 0); // the entry is taken: not registered
    PARAMETER integer(2, &manager, int32_t(3), 0, 8, 0, 0);
    EXPECT_EQ(manager.Register(1, &second), &kept);
    EXPECT_NE(traces.texts.find("1 ALREADY REGISTERED"), std::string::npos);
    EXPECT_EQ(manager.Register(4, &second), nullptr);
    EXPECT_NE(traces.texts.find("trying to REGISTER beyond MaxParameters --- 4"), std::string::npos);
    EXPECT_EQ(manager.GetValue(1), 0.25f);
    EXPECT_EQ(manager.GetFurtherAttribute(1), 7);
    EXPECT_EQ(manager.GetAttributeByte(1), 9);
    EXPECT_TRUE(manager.IsIntParam(2));
    EXPECT_EQ(manager.GetIntValue(2), 3);
    for (int32_t index : {-1, 0, 4, 1000}) {
        EXPECT_EQ(manager.GetMax(index), 1.0f);
        EXPECT_EQ(manager.GetMin(index), 0.0f);
        EXPECT_EQ(manager.GetValue(index), 0.0f);
        EXPECT_FALSE(manager.IsIntParam(index));
        char text[8] = "x";
        manager.Format(index, text, sizeof text, 10);
        EXPECT_STREQ(text, "");
        manager.SetValue(index, 0.5f); // nothing to set, nothing broken
    }
    EXPECT_NE(traces.texts.find("invalid param GetValue 4"), std::string::npos);
    manager.SetValueRatio(1, 1, 0); // no infinity stored
    EXPECT_EQ(manager.GetValue(1), 0.25f);
    manager.SetValueRatio(1, 3, 4);
    EXPECT_EQ(manager.GetValue(1), 0.75f);

    // Nearest whole steps, halves toward zero.
    struct Scaled {
        float value;
        int32_t steps, expected;
    } scaled[] = {{0.5f, 1, 0}, {0.5f, 3, 1}, {0.75f, 3, 2}, {1.0f, 255, 255}, {0.25f, 1000, 64}};
    for (const Scaled& s : scaled) {
        kept.SetValue(s.value);
        EXPECT_EQ(manager.GetScaledValue(1, s.steps), s.expected) << s.value << " x " << s.steps;
    }
    {
        PARAMETER temporary(3, &manager, 0.5f, 0, 1, 0, 0);
        EXPECT_EQ(manager.parameterAt(3), &temporary);
    }
    EXPECT_EQ(manager.parameterAt(3), nullptr) << "a destroyed parameter frees its entry";
    traces.texts.clear();
    manager.ReportUnregistered();
    EXPECT_NE(traces.texts.find("**** 2 of 4 PARAMS UNREGISTERED ****"), std::string::npos) << traces.texts;
    {
        auto early = std::make_unique<CParameterManager>(2);
        PARAMETER outlives(0, early.get(), 0.5f, 0, 1, 0, 0);
        early.reset(); // the parameter must not reach into the freed table afterwards
    }
}

namespace {

struct Recorder : CCPageObject {
    Recorder(uint32_t type) : CCPageObject(0, 0, 10, 10, nullptr, type, 0) {}
    int handleMessage(CCMsg* msg) override {
        if (msg->code == MSG_PARAMETER) {
            messages.push_back(*msg);
            if (onMessage)
                onMessage();
        }
        return 1;
    }
    void invalidate(bool onlySelf) override {
        ++invalidations;
        CCPageObject::invalidate(onlySelf);
    }
    std::vector<CCMsg> messages;
    std::function<void()> onMessage;
    int invalidations = 0;
};

struct TestQueue : CVSProcess {
    explicit TestQueue(CParameterManager* parameters) : parameters_(parameters) {}
    void AttachManager() override { setManager(parameters_); }
    CParameterManager* parameters_;
};

} // namespace

TEST(ChangeQueue, DeliversQueuedValuesAndFullRefreshesToBoundObjects) {
    CParameterManager parameters(8);
    PARAMETER integer(3, &parameters, int32_t(3), 0, 5, 0, 0);
    PARAMETER real(5, &parameters, 0.25f, 0, 1, 0, 0);
    PARAMETER unbound(6, &parameters, 0.5f, 0, 1, 0, 0);
    TestQueue queue(&parameters);
    parameters.setChangeQueue(&queue);
    Recorder root(100);
    auto* three = new Recorder(3);
    auto* fiveEarly = new Recorder(5);
    auto* fiveLate = new Recorder(5); // a later object replaces an earlier one
    auto* seven = new Recorder(7);    // bound, but nothing is registered at 7
    root.addChild(three);
    three->addChild(fiveEarly);
    root.addChild(fiveLate);
    root.addChild(seven);
    queue.setRoot(&root);
    queue.Drain(); // nothing attached yet: nothing happens
    queue.Attach();
    EXPECT_EQ(queue.GetBinding(5), fiveLate);
    EXPECT_EQ(queue.GetBinding(100), nullptr);

    real.Notify();
    real.Notify();
    unbound.Notify();
    EXPECT_TRUE(queue.isPending(5));
    EXPECT_FALSE(queue.isPending(6));
    queue.Drain();
    ASSERT_EQ(fiveLate->messages.size(), 2u);
    EXPECT_EQ(fiveLate->messages[0].first, 5);
    EXPECT_EQ(fiveLate->messages[0].second, 0);
    EXPECT_EQ(fiveLate->messages[0].value, 0.25f);
    EXPECT_TRUE(fiveLate->messages[0].notify);
    EXPECT_TRUE(fiveEarly->messages.empty());
    EXPECT_FALSE(queue.isPending(5));
    EXPECT_TRUE(queue.IsQueueEmpty());

    integer.setEnabled(false);
    integer.Notify();
    queue.Queue(CVSProcess::kFullRefresh);
    EXPECT_EQ(queue.PeekFront(), CVSProcess::kFullRefresh);
    root.invalidations = 0;
    queue.Drain();
    EXPECT_TRUE(queue.IsQueueEmpty());
    ASSERT_EQ(three->messages.size(), 1u);
    EXPECT_EQ(three->messages[0].second, 3);
    EXPECT_EQ(three->messages[0].value, 0.0f);
    EXPECT_FALSE(three->messages[0].notify);
    EXPECT_TRUE(three->messages[0].disable);
    EXPECT_EQ(fiveLate->messages.size(), 3u);
    EXPECT_TRUE(seven->messages.empty());
    EXPECT_EQ(root.invalidations, 1);
    EXPECT_EQ(queue.PopFront(), CVSProcess::kEmpty);

    // A receiver that reports its own change back: delivered by the same drain.
    int echoes = 0;
    fiveLate->onMessage = [&] {
        if (echoes++ == 0)
            real.Notify();
    };
    real.Notify();
    queue.Drain();
    EXPECT_EQ(echoes, 2);

    // A receiver that asks for a full refresh: kept for the next drain, not lost.
    bool asked = false;
    fiveLate->onMessage = [&] {
        if (!std::exchange(asked, true))
            queue.Queue(CVSProcess::kFullRefresh);
    };
    real.Notify();
    queue.Drain();
    EXPECT_EQ(queue.PeekFront(), CVSProcess::kFullRefresh);
    const size_t before = three->messages.size();
    queue.Drain();
    EXPECT_EQ(three->messages.size(), before + 1);
    queue.UnbindAll();
    real.Notify();
    EXPECT_TRUE(queue.IsQueueEmpty()) << "unbound: not queued";
}

TEST(ChangeQueue, ParametersChangeOnFourThreadsWhileTheInterfaceDrains) {
    constexpr int kThreads = 4, kChanges = 3000;
    CParameterManager parameters(kThreads);
    std::vector<std::unique_ptr<PARAMETER>> owned;
    TestQueue queue(&parameters);
    parameters.setChangeQueue(&queue);
    Recorder root(100);
    std::vector<Recorder*> bound;
    for (int i = 0; i < kThreads; ++i) {
        owned.push_back(std::make_unique<PARAMETER>(i, &parameters, 0.0f, 0, 1, 0, 0));
        bound.push_back(new Recorder(uint32_t(i)));
        root.addChild(bound.back());
    }
    queue.setRoot(&root);
    queue.Attach();
    std::atomic<int> running{kThreads};
    std::vector<std::thread> automation;
    for (int t = 0; t < kThreads; ++t)
        automation.emplace_back([&, t] {
            for (int i = 1; i <= kChanges; ++i) {
                std::lock_guard<CCLock> hold(queue.lock()); // the value and its notice together
                owned[size_t(t)]->SetValue(float(i) / kChanges);
                owned[size_t(t)]->Notify();
            }
            --running;
        });
    while (running > 0)
        queue.Drain();
    for (std::thread& thread : automation)
        thread.join();
    queue.Drain();
    EXPECT_TRUE(queue.IsQueueEmpty());
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_FALSE(bound[size_t(t)]->messages.empty());
        EXPECT_EQ(bound[size_t(t)]->messages.back().value, 1.0f) << "the last value reaches control " << t;
        EXPECT_FALSE(queue.isPending(t));
    }
}

TEST(BoundControls, AnEntryThatLeavesTheTreeLetsGoOfItsParameter) {
    // Items are tagged by their index and rows' buttons by their row: parameter 1
    // binds the entry that each removal takes away.
    enum class Removal { Item, Row, Selected };
    for (const Removal removal : {Removal::Item, Removal::Row, Removal::Selected}) {
        CParameterManager parameters(4);
        PARAMETER one(1, &parameters, 0.0f, 0, 1, 0, 0);
        TestQueue queue(&parameters); // outlives the page, which tells it what leaves
        parameters.setChangeQueue(&queue);
        TestManager page;
        page.setChangeQueue(&queue);
        auto* list = new CCListContainer(50, CCRect{10, 10, 200, 100}, 0, 16, nullptr, 0);
        page.addChild(list);
        for (const char* text : {"a", "b", "c"}) {
            if (removal == Removal::Row)
                list->addRow(text, false, false, false);
            else
                list->addItem(text, false);
        }
        queue.setRoot(&page);
        queue.Attach();
        CCPageObject* bound = queue.GetBinding(1);
        ASSERT_TRUE(bound);
        switch (removal) {
        case Removal::Item:
            list->removeItem(1);
            break;
        case Removal::Row:
            list->removeRow(1);
            break;
        case Removal::Selected:
            list->selectItem(1, false);
            ASSERT_TRUE(list->deleteSelected(false));
            break;
        }
        EXPECT_EQ(queue.GetBinding(1), nullptr) << int(removal);
        one.SetValue(0.5f);
        one.Notify();
        EXPECT_FALSE(queue.isPending(1));
        queue.Drain(); // nothing reaches the freed entry
    }
}

TEST(BoundControls, FollowTheirParameterAndTheirPreference) {
    CParameterManager parameters(4);
    struct Steps : PARAMETER {
        Steps(CParameterManager* m) : PARAMETER(2, m, 0.0f, 0, 3, 0, 0) {}
        void Format(char* text, size_t length, int32_t steps) override {
            std::snprintf(text, length, "step %d of %d", int(GetValue() * 3 + 0.5f), int(steps));
        }
        float TextToValue(const char* text) override { return float(std::atof(text)) / 3.0f; }
    } steps(&parameters);
    TestQueue queue(&parameters);
    parameters.setChangeQueue(&queue);
    TestManager page;
    page.setChangeQueue(&queue);
    auto* knob = new CCSwitch(2, 10, 10, 40, 40, 0, 30, 0, false, 4, nullptr, 0);
    knob->setRange(0, 3);
    page.addChild(knob);
    queue.setRoot(&page);
    queue.Attach();

    steps.SetValue(2.0f / 3.0f);
    steps.Notify();
    queue.Drain();
    EXPECT_EQ(knob->value(), 2);
    char text[32];
    parameters.displayText(2, text, sizeof text);
    EXPECT_STREQ(text, "step 2 of 3");
    knob->setFromText(0, "1", true); // parsed by the parameter, not read as a plain number
    EXPECT_EQ(knob->value(), 1);

    // Without a parameter behind its tag the control follows a preference of that id.
    HeadlessSettings store;
    CCEditor editor(nullptr, ShellDependencies{});
    CPrefs prefs(CPrefs::kKey, &editor);
    editor.setPreferenceAccess(&prefs);
    auto* other = new CCSwitch(9, 50, 10, 80, 40, 0, 30, 0, false, 4, nullptr, 0);
    other->setRange(0, 3);
    editor.addChild(other);
    CCPreferenceManager::setProcessStore(&store);
    prefs.add(new CCIntPreference(9, "Mode", &prefs, 1, 0));
    EXPECT_EQ(other->value(), 1) << "the stored default was announced";
    CountingManager elsewhere(&store);
    elsewhere.add(new CCIntPreference(9, "Mode", &elsewhere, 1, 0));
    elsewhere.setIntOf(9, 3, true);
    EXPECT_EQ(other->value(), 3) << "a change in another manager";
    EXPECT_EQ(store.others["Mode"].second, "3");
    CCPreferenceManager::setProcessStore(nullptr);
}
