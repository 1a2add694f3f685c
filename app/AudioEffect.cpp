#include "AudioEffect.h"

#include "AEffEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// At most `length` characters, then the terminating zero.
void copyText(char* text, int32_t length, const char* source) {
    if (!text || length < 0) return;
    int32_t count = 0;
    for (; count < length && source[count] != '\0'; ++count)
        text[count] = source[count];
    text[count] = '\0';
}

void writeEmptyText(char* text) {
    if (text) *text = '\0';
}

// Writes `value` as exactly `digits` decimal digits ending just before `end`.
char* writeDigitsBackwards(char* end, uint64_t value, int digits) {
    for (int i = 0; i < digits; ++i) {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return end;
}

// A host key record byte; anything out of range reads as no key.
unsigned char keyByte(float value) {
    if (value >= 0.0f && value < 256.0f)
        return static_cast<unsigned char>(value);
    return 0;
}

AudioEffect* objectOf(AEffect* effect) {
    return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

} // namespace

AudioEffect::AudioEffect(audioMasterCallback host, int32_t programCount, int32_t parameterCount)
    : host_(host), numPrograms_(std::max(programCount, 0)),
      numParams_(std::max(parameterCount, 0)) {
    descriptor_.magic = kMagic;
    descriptor_.dispatcher = &AudioEffect::dispatchEntry;
    descriptor_.process = &AudioEffect::processEntry;
    descriptor_.setParameter = &AudioEffect::setParameterEntry;
    descriptor_.getParameter = &AudioEffect::getParameterEntry;
    descriptor_.numPrograms = numPrograms_;
    descriptor_.numParams = numParams_;
    descriptor_.numInputs = 1;
    descriptor_.numOutputs = 2;
    descriptor_.flags = kEffectCanReplace;
    descriptor_.ioRatio = 1.0f;
    descriptor_.object = this;
    descriptor_.uniqueID = kUniqueId;
    descriptor_.version = 1;
    descriptor_.processReplacing = &AudioEffect::processReplacingEntry;
    descriptor_.processDoubleReplacing = &AudioEffect::processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect() {
    // Cleared first: the editor may look back at its plug-in object while it goes.
    delete std::exchange(editor_, nullptr);
}

void AudioEffect::setEditor(AEffEditor* editor) {
    editor_ = editor;
    setFlag(kEffectHasEditor, editor != nullptr);
}

void AudioEffect::setFlag(int32_t flag, bool state) {
    if (state)
        descriptor_.flags |= flag;
    else
        descriptor_.flags &= ~flag;
}

intptr_t AudioEffect::callHost(int32_t request, int32_t index, intptr_t value, void* pointer,
                               float option) {
    return host_ ? host_(&descriptor_, request, index, value, pointer, option) : 0;
}

intptr_t AudioEffect::dispatchEntry(AEffect* effect, int32_t request, int32_t index, intptr_t value,
                                    void* pointer, float option) {
    AudioEffect* object = objectOf(effect);
    if (!object) return 0;
    if (request == 1) { // close: the host lets go of the object here
        object->Dispatcher(request, index, value, pointer, option);
        delete object;
        return 1;
    }
    return object->Dispatcher(request, index, value, pointer, option);
}

void AudioEffect::processEntry(AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    if (AudioEffect* object = objectOf(effect))
        object->ProcessAccumulating(inputs, outputs, frames);
}

void AudioEffect::processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                        int32_t frames) {
    if (AudioEffect* object = objectOf(effect)) object->ProcessReplacing(inputs, outputs, frames);
}

void AudioEffect::processDoubleReplacingEntry(AEffect* effect, double** inputs, double** outputs,
                                              int32_t frames) {
    if (AudioEffect* object = objectOf(effect))
        object->ProcessDoubleReplacing(inputs, outputs, frames);
}

void AudioEffect::setParameterEntry(AEffect* effect, int32_t index, float value) {
    if (AudioEffect* object = objectOf(effect)) object->SetParameter(index, value);
}

float AudioEffect::getParameterEntry(AEffect* effect, int32_t index) {
    AudioEffect* object = objectOf(effect);
    return object ? object->GetParameter(index) : 0.0f;
}

intptr_t AudioEffect::Dispatcher(int32_t request, int32_t index, intptr_t value, void* pointer,
                                 float option) {
    char* text = static_cast<char*>(pointer);
    switch (request) {
    case 0:
        Open();
        break;
    case 1:
        Close();
        break;
    case 2:
        // A negative program would pass a plain "below the count" test.
        if (value >= 0 && value < numPrograms_) SetProgram(static_cast<int32_t>(value));
        break;
    case 3:
        return GetProgram();
    case 4:
        SetProgramName(text);
        break;
    case 5:
        GetProgramName(text);
        break;
    case 6:
        GetParameterLabel(index, text);
        break;
    case 7:
        GetParameterDisplay(index, text);
        break;
    case 8:
        GetParameterName(index, text);
        break;
    case 10:
        SetSampleRate(option);
        break;
    case 11:
        SetBlockSize(static_cast<int32_t>(value));
        break;
    case 12:
        if (value)
            Resume();
        else
            Suspend();
        break;
    case 13:
        return editor_ ? editor_->GetRect(static_cast<AEffEditor::ERect**>(pointer)) : 0;
    case 14:
        return editor_ ? editor_->Open(static_cast<PlatformWindow*>(pointer)) : 0;
    case 15:
        if (editor_) editor_->Close();
        break;
    case 19:
        if (editor_) editor_->Idle();
        break;
    case 22:
        return kIdentity;
    case 23:
        return GetChunk(static_cast<void**>(pointer), index != 0);
    case 24:
        return SetChunk(pointer, static_cast<int32_t>(value), index != 0);
    default:
        break;
    }
    return 0;
}

void AudioEffect::ProcessDoubleReplacing(double**, double**, int32_t) {}
void AudioEffect::ProcessAccumulating(float**, float**, int32_t) {}
void AudioEffect::SetParameter(int32_t, float) {}
float AudioEffect::GetParameter(int32_t) {
    return 0.0f;
}

void AudioEffect::SetParameterAutomated(int32_t index, float value) {
    SetParameter(index, value);
    callHost(0, index, 0, nullptr, value);
}

void AudioEffect::SetProgramName(char*) {}
void AudioEffect::GetProgramName(char* name) {
    writeEmptyText(name);
}
void AudioEffect::GetParameterLabel(int32_t, char* label) {
    writeEmptyText(label);
}
void AudioEffect::GetParameterDisplay(int32_t, char* text) {
    writeEmptyText(text);
}
void AudioEffect::GetParameterName(int32_t, char* name) {
    writeEmptyText(name);
}

int32_t AudioEffect::GetChunk(void** data, bool) {
    if (data) *data = nullptr;
    return 0;
}

int32_t AudioEffect::SetChunk(void*, int32_t, bool) {
    return 0;
}

int32_t AudioEffect::GetMasterVersion() {
    const intptr_t version = callHost(1);
    return version == 0 ? 1 : static_cast<int32_t>(version);
}

int32_t AudioEffect::GetCurrentUniqueId() {
    return static_cast<int32_t>(callHost(2));
}
void AudioEffect::MasterIdle() {
    callHost(3);
}
bool AudioEffect::IsInputConnected(int32_t index) {
    return callHost(4, index, 0) == 0;
}
bool AudioEffect::IsOutputConnected(int32_t index) {
    return callHost(4, index, 1) == 0;
}

void AudioEffect::DecibelToText(float value, char* text, int32_t length) {
    if (value <= 0.0f)
        copyText(text, length, "-oo");
    else
        FloatToText(20.0f * std::log10(value), text, length);
}

void AudioEffect::HertzToText(float samples, char* text, int32_t length) {
    FloatToText(samples == 0.0f ? 0.0f : sampleRate_ / samples, text, length);
}

void AudioEffect::MillisecondsToText(float samples, char* text, int32_t length) {
    FloatToText(samples * 1000.0f / sampleRate_, text, length);
}

// Eight characters: the integer digits, the point and as many fractional digits
// as fill the rest. NaN, infinities and integer parts with more digits than fit
// (7, or 6 after a minus) are "Huge!" rather than a text with digits missing.
void AudioEffect::FloatToText(float value, char* text, int32_t length) {
    constexpr int kWidth = 8;
    const bool negative = value < 0.0f;
    const double magnitude = std::fabs(static_cast<double>(value));
    const int integerDigitLimit = negative ? kWidth - 2 : kWidth - 1;
    const double integerPart = std::floor(magnitude);
    if (!std::isfinite(magnitude) || integerPart >= std::pow(10.0, integerDigitLimit)) {
        copyText(text, length, "Huge!");
        return;
    }

    const auto integer = static_cast<uint64_t>(integerPart);
    int integerDigits = 1;
    for (uint64_t rest = integer / 10; rest != 0; rest /= 10)
        ++integerDigits;
    const int fractionDigits = kWidth - 1 - (negative ? 1 : 0) - integerDigits;

    char buffer[kWidth + 1];
    char* const end = buffer + kWidth;
    *end = '\0';
    char* start = end;
    if (fractionDigits > 0) {
        const double scale = std::pow(10.0, fractionDigits);
        const double scaled = std::min((magnitude - integerPart) * scale, scale - 1.0);
        start = writeDigitsBackwards(start, static_cast<uint64_t>(scaled), fractionDigits);
    }
    *--start = '.';
    start = writeDigitsBackwards(start, integer, integerDigits);
    if (negative) *--start = '-';
    copyText(text, length, start);
}

void AudioEffect::IntToText(int32_t value, char* text, int32_t length) {
    if (value >= 100000000) {
        copyText(text, length, "Huge!");
        return;
    }
    // Widened so that the most negative value can be negated.
    int64_t magnitude = value;
    char buffer[16];
    char* const end = buffer + sizeof buffer - 1;
    *end = '\0';
    char* start = end;
    if (magnitude < 0) magnitude = -magnitude;
    for (; magnitude != 0; magnitude /= 10)
        *--start = static_cast<char>('0' + magnitude % 10);
    if (value < 0) *--start = '-';
    copyText(text, length, start);
}

// ---------------------------------------------------------------------------

intptr_t AudioEffectX::Dispatcher(int32_t request, int32_t index, intptr_t value, void* pointer,
                                  float option) {
    char* text = static_cast<char*>(pointer);
    const auto number = static_cast<int32_t>(value);
    switch (request) {
    case 25:
        return ProcessEvents(static_cast<EventList*>(pointer));
    case 26:
        return CanParameterBeAutomated(index);
    case 27:
        return StringToParameter(index, text);
    case 28:
        return GetNumCategories();
    case 29:
        return GetProgramNameIndexed(number, index, text);
    case 30:
        return CopyProgram(index);
    case 31:
        return ConnectInput(index, value != 0);
    case 32:
        return ConnectOutput(index, value != 0);
    case 33:
        return GetInputProperties(index, static_cast<PinProperties*>(pointer));
    case 34:
        return GetOutputProperties(index, static_cast<PinProperties*>(pointer));
    case 35:
        return GetPlugCategory();
    case 36:
        return ReportCurrentPosition();
    case 37:
        return reinterpret_cast<intptr_t>(ReportDestinationBuffer());
    case 38:
        return OfflineNotify(static_cast<OfflineAudioFile*>(pointer), number, index != 0);
    case 39:
        return OfflinePrepare(static_cast<OfflineTask*>(pointer), number);
    case 40:
        return OfflineRun(static_cast<OfflineTask*>(pointer), number);
    case 41:
        return ProcessVariableIo(static_cast<VariableIo*>(pointer));
    case 42:
        return SetSpeakerArrangement(reinterpret_cast<SpeakerArrangement*>(value),
                                     static_cast<SpeakerArrangement*>(pointer));
    case 43:
        return SetBlockSizeAndSampleRate(number, option);
    case 44:
        return SetBypass(value != 0);
    case 45:
        return GetEffectName(text);
    case 46:
        return GetErrorText(text);
    case 47:
        return GetVendorString(text);
    case 48:
        return GetProductString(text);
    case 49:
        return GetVendorVersion();
    case 50:
        return VendorSpecific(index, value, pointer, option);
    case 51:
        return CanDo(text);
    case 52:
        return GetTailSize();
    case 53:
        return FxIdle();
    case 54:
        return reinterpret_cast<intptr_t>(GetIcon());
    case 55:
        return SetViewPosition(index, number);
    case 56:
        return GetParameterProperties(index, static_cast<ParameterProperties*>(pointer));
    case 57:
        return KeysRequired();
    case 58:
        return GetVstVersion();
    case 59:
    case 60: {
        if (!editor_) return false;
        AEffEditor::KeyCode key;
        key.character = index;
        key.virt = static_cast<unsigned char>(value);
        key.modifier = keyByte(option);
        return request == 59 ? editor_->OnKeyDown(key) : editor_->OnKeyUp(key);
    }
    case 61:
        return editor_ ? editor_->SetKnobMode(number) : false;
    case 62:
        return GetMidiProgramName(index, static_cast<MidiProgramName*>(pointer));
    case 63:
        return GetCurrentMidiProgram(index, static_cast<MidiProgramName*>(pointer));
    case 64:
        return GetMidiProgramCategory(index, static_cast<MidiProgramCategory*>(pointer));
    case 65:
        return HasMidiProgramsChanged(index);
    case 66:
        return GetMidiKeyName(index, static_cast<MidiKeyName*>(pointer));
    case 67:
        return BeginSetProgram();
    case 68:
        return EndSetProgram();
    case 69:
        return GetSpeakerArrangement(reinterpret_cast<SpeakerArrangement**>(value),
                                     static_cast<SpeakerArrangement**>(pointer));
    case 70:
        return GetNextShellPlugin(text);
    case 71:
        return StartProcess();
    case 72:
        return StopProcess();
    case 73:
        return SetTotalSampleToProcess(number);
    case 74:
        return SetPanLaw(number, option);
    case 75:
        return BeginLoadBank(static_cast<PatchChunkInfo*>(pointer));
    case 76:
        return BeginLoadProgram(static_cast<PatchChunkInfo*>(pointer));
    case 77:
        return SetProcessPrecision(number);
    case 78:
        return GetNumMidiInputChannels();
    case 79:
        return GetNumMidiOutputChannels();
    default:
        return AudioEffect::Dispatcher(request, index, value, pointer, option);
    }
}

void AudioEffectX::Resume() {
    if ((descriptor_.flags & kEffectIsSynth) || CanDo("receiveVstMidiEvent") == 1) WantEvents(1);
}

bool AudioEffectX::WantEvents(int32_t filter) {
    return callHost(6, 0, filter) != 0;
}

AudioEffectX::TimeInfo* AudioEffectX::GetTimeInfo(int32_t filter) {
    return reinterpret_cast<TimeInfo*>(callHost(7, 0, filter));
}

int32_t AudioEffectX::TempoAt(int32_t position) {
    return static_cast<int32_t>(callHost(10, 0, position));
}

int32_t AudioEffectX::GetNumAutomatableParameters() {
    return static_cast<int32_t>(callHost(11));
}
int32_t AudioEffectX::GetParameterQuantization() {
    return static_cast<int32_t>(callHost(12));
}
bool AudioEffectX::IoChanged() {
    return callHost(13) != 0;
}
bool AudioEffectX::NeedIdle() {
    return callHost(14) != 0;
}

bool AudioEffectX::SizeWindow(int32_t width, int32_t height) {
    return callHost(15, width, height) != 0;
}

intptr_t AudioEffectX::GetHostSampleRate() {
    return callHost(16);
}
intptr_t AudioEffectX::GetHostBlockSize() {
    return callHost(17);
}
int32_t AudioEffectX::GetInputLatency() {
    return static_cast<int32_t>(callHost(18));
}
int32_t AudioEffectX::GetOutputLatency() {
    return static_cast<int32_t>(callHost(19));
}

AEffect* AudioEffectX::GetPreviousPlug(int32_t input) {
    return reinterpret_cast<AEffect*>(callHost(20, 0, input));
}

AEffect* AudioEffectX::GetNextPlug(int32_t output) {
    return reinterpret_cast<AEffect*>(callHost(21, 0, output));
}

int32_t AudioEffectX::WillProcessReplacing() {
    return static_cast<int32_t>(callHost(22));
}
int32_t AudioEffectX::GetCurrentProcessLevel() {
    return static_cast<int32_t>(callHost(23));
}
int32_t AudioEffectX::GetAutomationState() {
    return static_cast<int32_t>(callHost(24));
}

bool AudioEffectX::OfflineStart(OfflineAudioFile* files, int32_t fileCount, int32_t newFileCount) {
    return callHost(25, newFileCount, fileCount, files) != 0;
}

bool AudioEffectX::OfflineRead(OfflineTask* task, int32_t option, bool readSource) {
    return callHost(26, readSource ? 1 : 0, option, task) != 0;
}

bool AudioEffectX::OfflineWrite(OfflineTask* task, int32_t option) {
    return callHost(27, 0, option, task) != 0;
}

int32_t AudioEffectX::OfflineGetCurrentPass() {
    return static_cast<int32_t>(callHost(28));
}
int32_t AudioEffectX::OfflineGetCurrentMetaPass() {
    return static_cast<int32_t>(callHost(29));
}
void AudioEffectX::SetOutputSampleRate(float rate) {
    callHost(30, 0, 0, nullptr, rate);
}

AudioEffectX::SpeakerArrangement* AudioEffectX::GetOutputSpeakerArrangement() {
    return reinterpret_cast<SpeakerArrangement*>(callHost(31));
}

bool AudioEffectX::GetHostVendorString(char* text) {
    return callHost(32, 0, 0, text) != 0;
}
bool AudioEffectX::GetHostProductString(char* text) {
    return callHost(33, 0, 0, text) != 0;
}
int32_t AudioEffectX::GetHostVendorVersion() {
    return static_cast<int32_t>(callHost(34));
}

intptr_t AudioEffectX::HostVendorSpecific(int32_t index, intptr_t value, void* pointer,
                                          float option) {
    return callHost(35, index, value, pointer, option);
}

int32_t AudioEffectX::CanHostDo(char* text) {
    return static_cast<int32_t>(callHost(37, 0, 0, text));
}

int32_t AudioEffectX::GetHostLanguage() {
    return static_cast<int32_t>(callHost(38));
}

void* AudioEffectX::OpenWindow(WindowRecord* window) {
    return reinterpret_cast<void*>(callHost(39, 0, 0, window));
}

bool AudioEffectX::CloseWindow(WindowRecord* window) {
    return callHost(40, 0, 0, window) != 0;
}
void* AudioEffectX::GetDirectory() {
    return reinterpret_cast<void*>(callHost(41));
}
bool AudioEffectX::UpdateDisplay() {
    return callHost(42) != 0;
}
bool AudioEffectX::BeginEdit(int32_t index) {
    return callHost(43, index) != 0;
}
bool AudioEffectX::EndEdit(int32_t index) {
    return callHost(44, index) != 0;
}

bool AudioEffectX::OpenFileSelector(FileSelect* selector) {
    return callHost(45, 0, 0, selector) != 0;
}

bool AudioEffectX::CloseFileSelector(FileSelect* selector) {
    return callHost(46, 0, 0, selector) != 0;
}

bool AudioEffectX::GetChunkFile(void* nativePath) {
    return callHost(48, 0, 0, nativePath) != 0;
}

AudioEffectX::SpeakerArrangement* AudioEffectX::GetInputSpeakerArrangement() {
    return reinterpret_cast<SpeakerArrangement*>(callHost(49));
}

int32_t AudioEffectX::GetPlugCategory() {
    return (descriptor_.flags & kEffectIsSynth) ? kCategorySynth : kCategoryUnknown;
}

bool AudioEffectX::GetSpeakerArrangement(SpeakerArrangement** input, SpeakerArrangement** output) {
    if (input) *input = nullptr;
    if (output) *output = nullptr;
    return false;
}

bool AudioEffectX::AllocateArrangement(SpeakerArrangement** arrangement, int32_t channelCount) {
    if (!arrangement || channelCount < 0 || channelCount > kMaxSpeakerChannels) return false;
    const size_t size =
        sizeof(SpeakerArrangement) + static_cast<size_t>(channelCount) * sizeof(SpeakerProperties);
    auto* fresh = static_cast<SpeakerArrangement*>(std::calloc(1, size));
    if (!fresh) return false; // the old arrangement stays
    fresh->channelCount = channelCount;
    std::free(*arrangement);
    *arrangement = fresh;
    return true;
}

bool AudioEffectX::DeallocateArrangement(SpeakerArrangement** arrangement) {
    if (!arrangement) return false;
    std::free(*arrangement);
    *arrangement = nullptr;
    return true;
}

bool AudioEffectX::CopySpeaker(SpeakerProperties* to, const SpeakerProperties* from) {
    if (!to || !from) return false;
    if (to != from) std::memcpy(to, from, sizeof(SpeakerProperties));
    to->name[sizeof to->name - 1] = '\0'; // the copy's name is a text even if the source's isn't
    return true;
}

bool AudioEffectX::MatchArrangement(SpeakerArrangement** to, const SpeakerArrangement* from) {
    if (!to || !from) return false;
    if (*to == from) return true;
    // Built aside, so that a refused or failed copy leaves *to as it was.
    SpeakerArrangement* copy = nullptr;
    if (!AllocateArrangement(&copy, from->channelCount)) return false;
    copy->type = from->type;
    for (int32_t channel = 0; channel < from->channelCount; ++channel)
        CopySpeaker(&copy->speakers()[channel], &from->speakers()[channel]);
    DeallocateArrangement(to);
    *to = copy;
    return true;
}
