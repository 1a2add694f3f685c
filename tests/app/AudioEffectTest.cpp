#include "AudioEffect.h"
#include "AEffEditor.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Record {
    bool destroyed = false;
    int closes = 0;
    int resumes = 0;
    int suspends = 0;
};

class TestEffect : public AudioEffectX {
public:
    explicit TestEffect(Record* record = nullptr, audioMasterCallback host = nullptr,
                        int32_t programs = 0)
        : AudioEffectX(host, programs), record_(record) {}
    ~TestEffect() override {
        if (record_) record_->destroyed = true;
    }
    void ProcessReplacing(float**, float**, int32_t) override {}
    void Close() override {
        if (record_) ++record_->closes;
    }
    void Suspend() override {
        if (record_) ++record_->suspends;
    }
    void Resume() override {
        if (record_) ++record_->resumes;
        AudioEffectX::Resume();
    }

private:
    Record* record_;
};

class TestEditor : public AEffEditor {
public:
    TestEditor(AudioEffect* effect, bool* destroyed) : AEffEditor(effect), destroyed_(destroyed) {
        effect->setEditor(this);
    }
    ~TestEditor() override { *destroyed_ = true; }
    bool OnKeyDown(KeyCode& key) override {
        lastKey = key;
        return true;
    }
    bool SetKnobMode(int mode) override {
        knobMode = mode;
        return true;
    }
    KeyCode lastKey;
    int knobMode = -1;

private:
    bool* destroyed_;
};

struct HostCall {
    int32_t request, index;
    intptr_t value;
    float option;
};
std::vector<HostCall> hostCalls;
intptr_t hostAnswer = 0;

intptr_t recordingHost(AEffect*, int32_t request, int32_t index, intptr_t value, void*,
                       float option) {
    hostCalls.push_back({request, index, value, option});
    return hostAnswer;
}

using TextHelper = void (AudioEffect::*)(float, char*, int32_t);

std::string text(TestEffect& effect, TextHelper helper, float value, int32_t length = 31) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    (effect.*helper)(value, buffer, length);
    return buffer;
}

} // namespace

TEST(AudioEffect, ValueToTextHelpers) {
    TestEffect effect;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        TextHelper helper;
        float value;
        const char* expected;
    };
    const Case cases[] = {
        {&AudioEffect::FloatToText, 1.5f, "1.500000"},
        {&AudioEffect::FloatToText, -1.5f, "-1.50000"},
        {&AudioEffect::FloatToText, 1234567.0f, "1234567."},
        {&AudioEffect::FloatToText, 123456789.0f, "Huge!"},
        {&AudioEffect::FloatToText, -10000000.0f, "Huge!"},
        {&AudioEffect::FloatToText, 0.0f, "0.000000"},
        {&AudioEffect::FloatToText, 0.25f, "0.250000"},
        {&AudioEffect::FloatToText, -0.5f, "-0.50000"},
        {&AudioEffect::FloatToText, 123.456f, "123.4560"},
        {&AudioEffect::FloatToText, 9999999.0f, "9999999."},
        {&AudioEffect::FloatToText, -999999.0f, "-999999."},
        // Integer parts that do not fit are never shown with digits missing.
        {&AudioEffect::FloatToText, 12345678.0f, "Huge!"},
        {&AudioEffect::FloatToText, -1234567.0f, "Huge!"},
        {&AudioEffect::FloatToText, nan, "Huge!"},
        {&AudioEffect::FloatToText, inf, "Huge!"},
        {&AudioEffect::FloatToText, -inf, "Huge!"},
        {&AudioEffect::DecibelToText, 0.0f, "-oo"},
        {&AudioEffect::DecibelToText, -1.0f, "-oo"},
        {&AudioEffect::DecibelToText, 1.0f, "0.000000"},
        {&AudioEffect::DecibelToText, 100.0f, "40.00000"},
        {&AudioEffect::HertzToText, 0.0f, "0.000000"},
        {&AudioEffect::HertzToText, 441.0f, "100.0000"},
        {&AudioEffect::MillisecondsToText, 44100.0f, "1000.000"},
        {&AudioEffect::MillisecondsToText, 441.0f, "10.00000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(effect, c.helper, c.value), c.expected) << "value " << c.value;

    const std::pair<int32_t, const char*> integers[] = {
        {-42, "-42"},
        {0, ""},
        {7, "7"},
        {99999999, "99999999"},
        {100000000, "Huge!"},
        {INT_MAX, "Huge!"},
        {INT_MIN, "-2147483648"},
    };
    for (const auto& [value, expected] : integers) {
        char buffer[32];
        effect.IntToText(value, buffer, 31);
        EXPECT_STREQ(buffer, expected) << "value " << value;
    }
}

TEST(AudioEffect, TextHelpersStayWithinTheGivenLength) {
    TestEffect effect;
    const std::pair<int32_t, const char*> lengths[] = {{3, "1.5"}, {0, ""}, {8, "1.500000"}};
    for (const auto& [length, expected] : lengths) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        effect.FloatToText(1.5f, buffer, length);
        EXPECT_STREQ(buffer, expected);
        EXPECT_EQ(buffer[length + 1], 'x') << "length " << length;
    }
    char buffer[4] = {'x', 'x', 'x', 'x'};
    effect.IntToText(-42, buffer, -1);
    effect.DecibelToText(0.0f, buffer, -5);
    EXPECT_EQ(buffer[0], 'x');
    effect.IntToText(12345, buffer, 3);
    EXPECT_STREQ(buffer, "123");
    effect.FloatToText(1.0f, nullptr, 8);
    effect.IntToText(1, nullptr, 8);
}

TEST(AudioEffect, DescriptorAtConstruction) {
    TestEffect effect;
    const AEffect& d = *effect.GetAeffect();
    EXPECT_EQ(d.magic, 0x56737450);
    EXPECT_EQ(std::memcmp(&d.magic, "PtsV", 4), 0); // little-endian "VstP"
    EXPECT_TRUE(d.dispatcher && d.process && d.setParameter && d.getParameter &&
                d.processReplacing && d.processDoubleReplacing);
    EXPECT_EQ(d.numPrograms, 0);
    EXPECT_EQ(d.numParams, 0);
    EXPECT_EQ(d.numInputs, 1);
    EXPECT_EQ(d.numOutputs, 2);
    EXPECT_EQ(d.flags, 0x10);
    EXPECT_EQ(d.reserved[0] | d.reserved[1], 0);
    EXPECT_EQ(d.initialDelay | d.realQualities | d.offQualities, 0);
    EXPECT_EQ(d.ioRatio, 1.0f);
    EXPECT_EQ(d.object, static_cast<AudioEffect*>(&effect));
    EXPECT_EQ(d.user, nullptr);
    EXPECT_EQ(d.uniqueID, 0x4E6F4566);
    EXPECT_EQ(d.version, 1);
    EXPECT_EQ(std::string(d.future, sizeof d.future), std::string(56, '\0'));
    EXPECT_EQ(effect.GetSampleRate(), 44100.0f);
    EXPECT_EQ(effect.GetBlockSize(), 1024);
    EXPECT_EQ(effect.GetProgram(), 0);
    EXPECT_EQ(effect.GetEditor(), nullptr);

    // Offsets: the 32-bit layout, or the same order with 8-byte pointers.
    const size_t p = sizeof(void*);
    const std::pair<size_t, size_t> offsets[] = {
        {offsetof(AEffect, dispatcher), p == 4 ? 4 : 8},
        {offsetof(AEffect, numPrograms), p == 4 ? 20 : 40},
        {offsetof(AEffect, flags), p == 4 ? 36 : 56},
        {offsetof(AEffect, initialDelay), p == 4 ? 48 : 80},
        {offsetof(AEffect, object), p == 4 ? 64 : 96},
        {offsetof(AEffect, uniqueID), p == 4 ? 72 : 112},
        {offsetof(AEffect, processReplacing), p == 4 ? 80 : 120},
        {offsetof(AEffect, future), p == 4 ? 88 : 136},
    };
    for (const auto& [actual, expected] : offsets)
        EXPECT_EQ(actual, expected);
}

TEST(AudioEffect, FlagSettersSetAndClearTheirBit) {
    struct Case {
        std::function<void(TestEffect&, bool)> set;
        int32_t bit;
    };
    const Case cases[] = {
        {[](TestEffect& e, bool s) { e.HasEditor(s); }, 0x1},
        {[](TestEffect& e, bool s) { e.HasClip(s); }, 0x2},
        {[](TestEffect& e, bool s) { e.HasVu(s); }, 0x4},
        {[](TestEffect& e, bool s) { e.CanMono(s); }, 0x8},
        {[](TestEffect& e, bool s) { e.CanProcessReplacing(s); }, 0x10},
        {[](TestEffect& e, bool s) { e.ProgramsAreChunks(s); }, 0x20},
        {[](TestEffect& e, bool s) { e.IsSynth(s); }, 0x100},
        {[](TestEffect& e, bool s) { e.NoTail(s); }, 0x200},
        {[](TestEffect& e, bool s) { e.HasAsyncExtension(s); }, 0x400},
        {[](TestEffect& e, bool s) { e.HasBufferExtension(s); }, 0x800},
        {[](TestEffect& e, bool s) { e.CanDoubleReplacing(s); }, 0x1000},
    };
    for (const Case& c : cases) {
        TestEffect effect;
        const int32_t others = 0x10 & ~c.bit;
        c.set(effect, true);
        EXPECT_EQ(effect.GetAeffect()->flags, others | c.bit) << "bit " << c.bit;
        c.set(effect, false);
        EXPECT_EQ(effect.GetAeffect()->flags, others) << "bit " << c.bit;
    }
}

TEST(AudioEffect, CloseThroughTheDescriptorDeletesTheObject) {
    Record record;
    bool editorDestroyed = false;
    auto* effect = new TestEffect(&record);
    new TestEditor(effect, &editorDestroyed);
    EXPECT_EQ(effect->GetAeffect()->flags & 0x1, 0x1);
    AEffect* descriptor = effect->GetAeffect();
    EXPECT_EQ(descriptor->dispatcher(descriptor, 1, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(record.destroyed);
    EXPECT_EQ(record.closes, 1);
    EXPECT_TRUE(editorDestroyed);
}

TEST(AudioEffect, BaseRequests) {
    for (const int32_t programs : {0, 3}) {
        Record record;
        TestEffect effect(&record, nullptr, programs);
        AEffect* d = effect.GetAeffect();
        for (const intptr_t program : {intptr_t{-1}, intptr_t{programs}, intptr_t{programs + 1}}) {
            EXPECT_EQ(d->dispatcher(d, 2, 0, program, nullptr, 0.0f), 0);
            EXPECT_EQ(effect.GetProgram(), 0) << "program " << program;
        }
        if (programs > 0) {
            d->dispatcher(d, 2, 0, programs - 1, nullptr, 0.0f);
            EXPECT_EQ(d->dispatcher(d, 3, 0, 0, nullptr, 0.0f), programs - 1);
        }
        EXPECT_EQ(d->dispatcher(d, 22, 0, 0, nullptr, 0.0f), 0x4E764566);
        d->dispatcher(d, 10, 0, 0, nullptr, 48000.0f);
        d->dispatcher(d, 11, 0, 256, nullptr, 0.0f);
        EXPECT_EQ(effect.GetSampleRate(), 48000.0f);
        EXPECT_EQ(effect.GetBlockSize(), 256);
        d->dispatcher(d, 12, 0, 1, nullptr, 0.0f);
        d->dispatcher(d, 12, 0, 0, nullptr, 0.0f);
        EXPECT_EQ(record.resumes, 1);
        EXPECT_EQ(record.suspends, 1);
        char name[4] = "abc";
        d->dispatcher(d, 5, 0, 0, name, 0.0f);
        EXPECT_STREQ(name, "");
        EXPECT_EQ(d->dispatcher(d, 5, 0, 0, nullptr, 0.0f), 0);
    }
}

TEST(AudioEffect, EditorRequestsNeedAnEditor) {
    bool destroyed = false; // outlives the effect, which deletes the editor
    TestEffect effect;
    AEffect* d = effect.GetAeffect();
    for (const int32_t request : {13, 14, 15, 19, 59, 60, 61})
        EXPECT_EQ(d->dispatcher(d, request, 0, 1, nullptr, 0.0f), 0) << request;

    auto* editor = new TestEditor(&effect, &destroyed);
    EXPECT_EQ(effect.GetEditor(), editor);
    EXPECT_EQ(d->dispatcher(d, 59, 'a', 37, nullptr, 4.0f), 1);
    EXPECT_EQ(editor->lastKey.character, 'a');
    EXPECT_EQ(editor->lastKey.virt, 37);
    EXPECT_EQ(editor->lastKey.modifier, 4);
    d->dispatcher(d, 59, 'b', 1, nullptr, -3.0f); // not a modifier byte
    EXPECT_EQ(editor->lastKey.modifier, 0);
    EXPECT_EQ(d->dispatcher(d, 60, 'a', 37, nullptr, 4.0f), 0); // the base's OnKeyUp
    EXPECT_EQ(d->dispatcher(d, 61, 0, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(editor->knobMode, 2);
    AEffEditor::ERect* rect = reinterpret_cast<AEffEditor::ERect*>(1);
    EXPECT_EQ(d->dispatcher(d, 13, 0, 0, &rect, 0.0f), 0);
    EXPECT_EQ(rect, nullptr);
}

TEST(AudioEffect, HostRequestsWithoutAndWithAHost) {
    TestEffect alone;
    EXPECT_EQ(alone.GetMasterVersion(), 1);
    EXPECT_TRUE(alone.IsInputConnected(0));
    EXPECT_TRUE(alone.IsOutputConnected(1));
    EXPECT_EQ(alone.GetCurrentUniqueId(), 0);
    EXPECT_FALSE(alone.WantEvents());
    EXPECT_EQ(alone.GetTimeInfo(0), nullptr);
    EXPECT_EQ(alone.CanHostDo(nullptr), 0);
    EXPECT_FALSE(alone.BeginEdit(0));
    EXPECT_EQ(alone.GetHostSampleRate(), 0);
    alone.SetParameterAutomated(1, 0.5f);
    alone.IsSynth(true);
    alone.Resume();

    hostCalls.clear();
    hostAnswer = 0;
    TestEffect hosted(nullptr, &recordingHost);
    EXPECT_EQ(hosted.GetMasterVersion(), 1);
    EXPECT_TRUE(hosted.IsOutputConnected(3));
    hosted.SetParameterAutomated(2, 0.25f);
    hosted.Resume(); // neither synthesizer nor MIDI receiver: no request
    hosted.IsSynth(true);
    hosted.Resume();
    ASSERT_EQ(hostCalls.size(), 4u);
    EXPECT_EQ(hostCalls[0].request, 1);
    EXPECT_EQ(hostCalls[1].request, 4);
    EXPECT_EQ(hostCalls[1].index, 3);
    EXPECT_EQ(hostCalls[1].value, 1);
    EXPECT_EQ(hostCalls[2].request, 0);
    EXPECT_EQ(hostCalls[2].index, 2);
    EXPECT_EQ(hostCalls[2].option, 0.25f);
    EXPECT_EQ(hostCalls[3].request, 6);
    EXPECT_EQ(hostCalls[3].value, 1);

    hostAnswer = 2400;
    EXPECT_EQ(hosted.GetMasterVersion(), 2400);
    EXPECT_FALSE(hosted.IsInputConnected(0));
    EXPECT_TRUE(hosted.BeginEdit(5));
    EXPECT_EQ(hostCalls.back().request, 43);
    EXPECT_EQ(hostCalls.back().index, 5);
    hostAnswer = 0;
}

TEST(AudioEffect, ExtendedRequestsAndFixedAnswers) {
    TestEffect effect;
    AEffect* d = effect.GetAeffect();
    const std::pair<int32_t, intptr_t> answers[] = {
        {58, 2400}, {35, 0}, {51, 0}, {63, -1}, {28, 1}, {57, 1}, {78, 0}, {3, 0}, {22, 0x4E764566},
    };
    for (const auto& [request, answer] : answers)
        EXPECT_EQ(d->dispatcher(d, request, 0, 0, nullptr, 0.0f), answer) << request;
    EXPECT_EQ(d->dispatcher(d, 73, 0, 512, nullptr, 0.0f), 512);
    char receive[] = "receiveVstMidiEvent";
    EXPECT_EQ(d->dispatcher(d, 51, 0, 0, receive, 0.0f), 0);
    effect.IsSynth(true);
    EXPECT_EQ(d->dispatcher(d, 35, 0, 0, nullptr, 0.0f), 2);

    AudioEffectX::SpeakerArrangement* in = nullptr;
    AudioEffectX::SpeakerArrangement* out = nullptr;
    effect.AllocateArrangement(&in, 1);
    AudioEffectX::SpeakerArrangement* given = in;
    EXPECT_EQ(d->dispatcher(d, 69, 0, reinterpret_cast<intptr_t>(&in), &out, 0.0f), 0);
    EXPECT_EQ(in, nullptr);
    effect.DeallocateArrangement(&given);
}

TEST(AudioEffect, SpeakerArrangements) {
    TestEffect effect;
    using Arrangement = AudioEffectX::SpeakerArrangement;
    Arrangement* source = nullptr;
    for (const int32_t count : {-1, AudioEffectX::kMaxSpeakerChannels + 1, INT_MAX})
        EXPECT_FALSE(effect.AllocateArrangement(&source, count)) << count;
    EXPECT_EQ(source, nullptr);
    EXPECT_FALSE(effect.AllocateArrangement(nullptr, 2));

    ASSERT_TRUE(effect.AllocateArrangement(&source, 0));
    EXPECT_EQ(source->channelCount, 0);
    ASSERT_TRUE(effect.AllocateArrangement(&source, 3)); // replaces the first
    ASSERT_EQ(source->channelCount, 3);
    source->type = 7;
    for (int32_t channel = 0; channel < 3; ++channel) {
        auto& speaker = source->speakers()[channel];
        EXPECT_EQ(speaker.azimuth, 0.0f);
        speaker.azimuth = static_cast<float>(channel) + 0.5f;
        std::memset(speaker.name, 'n', sizeof speaker.name); // not terminated
        speaker.type = channel;
    }

    Arrangement* copy = nullptr;
    ASSERT_TRUE(effect.AllocateArrangement(&copy, 1));
    ASSERT_TRUE(effect.MatchArrangement(&copy, source));
    ASSERT_EQ(copy->channelCount, 3);
    EXPECT_EQ(copy->type, 7);
    for (int32_t channel = 0; channel < 3; ++channel) {
        EXPECT_EQ(copy->speakers()[channel].azimuth, static_cast<float>(channel) + 0.5f);
        EXPECT_EQ(copy->speakers()[channel].type, channel);
        EXPECT_EQ(std::strlen(copy->speakers()[channel].name), 63u);
    }
    EXPECT_TRUE(effect.MatchArrangement(&copy, copy));
    EXPECT_EQ(copy->channelCount, 3);

    source->channelCount = -5; // a corrupt source is refused, the target kept
    EXPECT_FALSE(effect.MatchArrangement(&copy, source));
    EXPECT_EQ(copy->channelCount, 3);
    source->channelCount = 3;

    EXPECT_FALSE(effect.CopySpeaker(nullptr, &source->speakers()[0]));
    EXPECT_TRUE(effect.DeallocateArrangement(&source));
    EXPECT_TRUE(effect.DeallocateArrangement(&copy));
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(effect.DeallocateArrangement(&copy)); // freeing nothing is fine
}
