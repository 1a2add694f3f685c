#pragma once

#include <cstdint>

class AEffEditor;
struct AEffect;

// The host's side of the plug-in interface. This program attaches no host, so the
// callback stays null and every host request answers as a missing host would.
using audioMasterCallback = intptr_t (*)(AEffect* effect, int32_t request, int32_t index,
                                         intptr_t value, void* pointer, float option);

using AEffectDispatcher = intptr_t (*)(AEffect* effect, int32_t request, int32_t index,
                                       intptr_t value, void* pointer, float option);
using AEffectProcess = void (*)(AEffect* effect, float** inputs, float** outputs, int32_t frames);
using AEffectProcessDouble = void (*)(AEffect* effect, double** inputs, double** outputs,
                                      int32_t frames);
using AEffectSetParameter = void (*)(AEffect* effect, int32_t index, float value);
using AEffectGetParameter = float (*)(AEffect* effect, int32_t index);

// The VST 2 plug-in descriptor. Pointer-sized fields follow the platform, as the
// interface does: 144 bytes on a 32-bit build, 192 (with padding) on a 64-bit one.
struct AEffect {
    int32_t magic;
    AEffectDispatcher dispatcher;
    AEffectProcess process; // accumulating
    AEffectSetParameter setParameter;
    AEffectGetParameter getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t reserved[2];
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object; // the AudioEffect
    void* user;
    int32_t uniqueID;
    int32_t version;
    AEffectProcess processReplacing;
    AEffectProcessDouble processDoubleReplacing;
    char future[56];
};

static_assert(sizeof(void*) != 4 || sizeof(AEffect) == 144);
static_assert(sizeof(void*) != 8 || sizeof(AEffect) == 192);

// Descriptor flag bits.
enum : int32_t {
    kEffectHasEditor = 0x1,
    kEffectHasClip = 0x2,
    kEffectHasMeter = 0x4,
    kEffectCanMono = 0x8,
    kEffectCanReplace = 0x10,
    kEffectProgramChunks = 0x20,
    kEffectIsSynth = 0x100,
    kEffectNoSoundInStop = 0x200,
    kEffectAsyncExtension = 0x400,
    kEffectBufferExtension = 0x800,
    kEffectCanDoubleReplace = 0x1000,
};

// The plug-in object. It owns its editor; the descriptor's entries lead back to it.
class AudioEffect {
public:
    static constexpr int32_t kMagic = 0x56737450;
    static constexpr int32_t kUniqueId = 0x4E6F4566;
    static constexpr intptr_t kIdentity = 0x4E764566;

    explicit AudioEffect(audioMasterCallback host = nullptr, int32_t programCount = 0,
                         int32_t parameterCount = 0);
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    virtual ~AudioEffect();
    virtual intptr_t Dispatcher(int32_t request, int32_t index, intptr_t value, void* pointer,
                                float option);
    virtual void Open() {}
    virtual void Close() {}
    virtual void Suspend() {}
    virtual void Resume() {}
    virtual void SetSampleRate(float rate) { sampleRate_ = rate; }
    virtual void SetBlockSize(int32_t size) { blockSize_ = size; }
    virtual void ProcessReplacing(float** inputs, float** outputs, int32_t frames) = 0;
    virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int32_t frames);
    virtual void SetParameter(int32_t index, float value);
    virtual float GetParameter(int32_t index);
    virtual void SetParameterAutomated(int32_t index, float value);
    virtual int32_t GetProgram() { return currentProgram_; }
    virtual void SetProgram(int32_t program) { currentProgram_ = program; }
    virtual void SetProgramName(char* name);
    // The text getters below write an empty text into a non-null buffer.
    virtual void GetProgramName(char* name);
    virtual void GetParameterLabel(int32_t index, char* label);
    virtual void GetParameterDisplay(int32_t index, char* text);
    virtual void GetParameterName(int32_t index, char* name);
    virtual int32_t GetChunk(void** data, bool isPreset);
    virtual int32_t SetChunk(void* data, int32_t size, bool isPreset);
    virtual void SetUniqueId(int32_t id) { descriptor_.uniqueID = id; }
    virtual void SetNumInputs(int32_t count) { descriptor_.numInputs = count; }
    virtual void SetNumOutputs(int32_t count) { descriptor_.numOutputs = count; }
    virtual void CanProcessReplacing(bool state) { setFlag(kEffectCanReplace, state); }
    virtual void CanDoubleReplacing(bool state) { setFlag(kEffectCanDoubleReplace, state); }
    virtual void ProgramsAreChunks(bool state) { setFlag(kEffectProgramChunks, state); }
    virtual void SetInitialDelay(int32_t delay) { descriptor_.initialDelay = delay; }
    virtual AEffEditor* GetEditor() { return editor_; }
    virtual AEffect* GetAeffect() { return &descriptor_; }
    virtual float GetSampleRate() { return sampleRate_; }
    virtual int32_t GetBlockSize() { return blockSize_; }
    virtual int32_t GetMasterVersion();
    virtual int32_t GetCurrentUniqueId();
    virtual void MasterIdle();
    virtual bool IsInputConnected(int32_t index);
    virtual bool IsOutputConnected(int32_t index);
    // Value-to-text helpers: at most `length` characters and a terminating zero,
    // so `text` must hold length + 1 bytes. A negative length writes nothing.
    virtual void DecibelToText(float value, char* text, int32_t length);
    virtual void HertzToText(float samples, char* text, int32_t length);
    virtual void MillisecondsToText(float samples, char* text, int32_t length);
    virtual void FloatToText(float value, char* text, int32_t length);
    virtual void IntToText(int32_t value, char* text, int32_t length);
    virtual void ProcessAccumulating(float** inputs, float** outputs, int32_t frames);
    virtual float GetVu() { return 0.0f; }
    virtual void HasVu(bool state) { setFlag(kEffectHasMeter, state); }
    virtual void HasClip(bool state) { setFlag(kEffectHasClip, state); }
    virtual void CanMono(bool state) { setFlag(kEffectCanMono, state); }
    virtual void SetRealQualities(int32_t qualities) { descriptor_.realQualities = qualities; }
    virtual void SetOffQualities(int32_t qualities) { descriptor_.offQualities = qualities; }

    // Called by the editor's constructor: the object owns the editor from then on
    // (a replaced editor stays the caller's) and the has-editor flag follows it.
    void setEditor(AEffEditor* editor);
    void HasEditor(bool state) { setFlag(kEffectHasEditor, state); }

protected:
    void setFlag(int32_t flag, bool state);
    // One request to the host; 0 when there is none.
    intptr_t callHost(int32_t request, int32_t index = 0, intptr_t value = 0,
                      void* pointer = nullptr, float option = 0.0f);

    audioMasterCallback host_;
    AEffEditor* editor_ = nullptr;
    float sampleRate_ = 44100.0f;
    int32_t blockSize_ = 1024;
    int32_t numPrograms_;
    int32_t numParams_;
    int32_t currentProgram_ = 0;
    AEffect descriptor_{};

private:
    static intptr_t dispatchEntry(AEffect* effect, int32_t request, int32_t index, intptr_t value,
                                  void* pointer, float option);
    static void processEntry(AEffect* effect, float** inputs, float** outputs, int32_t frames);
    static void processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                      int32_t frames);
    static void processDoubleReplacingEntry(AEffect* effect, double** inputs, double** outputs,
                                            int32_t frames);
    static void setParameterEntry(AEffect* effect, int32_t index, float value);
    static float getParameterEntry(AEffect* effect, int32_t index);
};

// The extended plug-in object: host requests, more flags, fixed-answer queries
// and speaker arrangements. It adds no fields.
class AudioEffectX : public AudioEffect {
public:
    // Records the host would exchange; never filled in this program.
    struct TimeInfo;
    struct EventList;
    struct PinProperties;
    struct OfflineAudioFile;
    struct OfflineTask;
    struct VariableIo;
    struct ParameterProperties;
    struct MidiProgramName;
    struct MidiProgramCategory;
    struct MidiKeyName;
    struct PatchChunkInfo;
    struct FileSelect;
    struct WindowRecord;

    // One speaker: 112 bytes.
    struct SpeakerProperties {
        float azimuth;
        float elevation;
        float radius;
        float reserved;
        char name[64];
        int32_t type;
        char future[28];
    };
    static_assert(sizeof(SpeakerProperties) == 112);

    // An 8-byte header followed by `channelCount` speakers in the same allocation.
    struct SpeakerArrangement {
        int32_t type;
        int32_t channelCount;
        SpeakerProperties* speakers() { return reinterpret_cast<SpeakerProperties*>(this + 1); }
        const SpeakerProperties* speakers() const {
            return reinterpret_cast<const SpeakerProperties*>(this + 1);
        }
    };
    static_assert(sizeof(SpeakerArrangement) == 8);

    // More than any speaker layout has; larger counts are refused.
    static constexpr int32_t kMaxSpeakerChannels = 1024;
    static constexpr int32_t kVstVersion = 2400;
    static constexpr int32_t kCategoryUnknown = 0;
    static constexpr int32_t kCategorySynth = 2;

    using AudioEffect::AudioEffect;

    intptr_t Dispatcher(int32_t request, int32_t index, intptr_t value, void* pointer,
                        float option) override;
    void Resume() override;

    // Host requests: the host's answer, 0 / false / null without a host.
    virtual bool WantEvents(int32_t filter = 1);            // 6
    virtual TimeInfo* GetTimeInfo(int32_t filter);          // 7
    virtual int32_t TempoAt(int32_t position);              // 10
    virtual int32_t GetNumAutomatableParameters();          // 11
    virtual int32_t GetParameterQuantization();             // 12
    virtual bool IoChanged();                               // 13
    virtual bool NeedIdle();                                // 14
    virtual bool SizeWindow(int32_t width, int32_t height); // 15
    virtual intptr_t GetHostSampleRate();                   // 16
    virtual intptr_t GetHostBlockSize();                    // 17
    virtual int32_t GetInputLatency();                      // 18
    virtual int32_t GetOutputLatency();                     // 19
    virtual AEffect* GetPreviousPlug(int32_t input);        // 20
    virtual AEffect* GetNextPlug(int32_t output);           // 21
    virtual int32_t WillProcessReplacing();                 // 22
    virtual int32_t GetCurrentProcessLevel();               // 23
    virtual int32_t GetAutomationState();                   // 24
    virtual bool OfflineStart(OfflineAudioFile* files, int32_t fileCount,
                              int32_t newFileCount);                              // 25
    virtual bool OfflineRead(OfflineTask* task, int32_t option, bool readSource); // 26
    virtual bool OfflineWrite(OfflineTask* task, int32_t option);                 // 27
    virtual int32_t OfflineGetCurrentPass();                                      // 28
    virtual int32_t OfflineGetCurrentMetaPass();                                  // 29
    virtual void SetOutputSampleRate(float rate);                                 // 30
    virtual SpeakerArrangement* GetOutputSpeakerArrangement();                    // 31
    virtual bool GetHostVendorString(char* text);                                 // 32
    virtual bool GetHostProductString(char* text);                                // 33
    virtual int32_t GetHostVendorVersion();                                       // 34
    virtual intptr_t HostVendorSpecific(int32_t index, intptr_t value, void* pointer,
                                        float option);        // 35
    virtual int32_t CanHostDo(char* text);                    // 37
    virtual int32_t GetHostLanguage();                        // 38
    virtual void* OpenWindow(WindowRecord* window);           // 39
    virtual bool CloseWindow(WindowRecord* window);           // 40
    virtual void* GetDirectory();                             // 41
    virtual bool UpdateDisplay();                             // 42
    virtual bool BeginEdit(int32_t index);                    // 43
    virtual bool EndEdit(int32_t index);                      // 44
    virtual bool OpenFileSelector(FileSelect* selector);      // 45
    virtual bool CloseFileSelector(FileSelect* selector);     // 46
    virtual bool GetChunkFile(void* nativePath);              // 48
    virtual SpeakerArrangement* GetInputSpeakerArrangement(); // 49

    // Flag setters.
    virtual void IsSynth(bool state) { setFlag(kEffectIsSynth, state); }
    virtual void NoTail(bool state) { setFlag(kEffectNoSoundInStop, state); }
    virtual void HasAsyncExtension(bool state) { setFlag(kEffectAsyncExtension, state); }
    virtual void HasBufferExtension(bool state) { setFlag(kEffectBufferExtension, state); }

    // Queries with fixed answers; the number is the dispatcher request that asks.
    virtual int32_t ProcessEvents(EventList* /*events*/) { return 0; }                  // 25
    virtual bool CanParameterBeAutomated(int32_t /*index*/) { return false; }           // 26
    virtual bool StringToParameter(int32_t /*index*/, char* /*text*/) { return false; } // 27
    virtual int32_t GetNumCategories() { return 1; }                                    // 28
    virtual bool GetProgramNameIndexed(int32_t /*category*/, int32_t /*index*/, char* /*text*/) {
        return false; // 29
    }
    virtual bool CopyProgram(int32_t /*destination*/) { return false; }                   // 30
    virtual bool ConnectInput(int32_t /*index*/, bool /*state*/) { return false; }        // 31
    virtual bool ConnectOutput(int32_t /*index*/, bool /*state*/) { return false; }       // 32
    virtual bool GetInputProperties(int32_t /*index*/, PinProperties*) { return false; }  // 33
    virtual bool GetOutputProperties(int32_t /*index*/, PinProperties*) { return false; } // 34
    virtual int32_t GetPlugCategory();                                                    // 35
    virtual int32_t ReportCurrentPosition() { return 0; }                                 // 36
    virtual float* ReportDestinationBuffer() { return nullptr; }                          // 37
    virtual bool OfflineNotify(OfflineAudioFile*, int32_t /*count*/, bool /*start*/) {
        return false; // 38
    }
    virtual bool OfflinePrepare(OfflineTask*, int32_t /*count*/) { return false; } // 39
    virtual bool OfflineRun(OfflineTask*, int32_t /*count*/) { return false; }     // 40
    virtual bool ProcessVariableIo(VariableIo*) { return false; }                  // 41
    virtual bool SetSpeakerArrangement(SpeakerArrangement* /*input*/,
                                       SpeakerArrangement* /*output*/) {
        return false; // 42
    }
    // Not taken: hosts set the two apart (requests 10 and 11).
    virtual bool SetBlockSizeAndSampleRate(int32_t /*size*/, float /*rate*/) { return false; } // 43
    virtual bool SetBypass(bool /*state*/) { return false; }                                   // 44
    virtual bool GetEffectName(char* /*name*/) { return false; }                               // 45
    virtual bool GetErrorText(char* /*text*/) { return false; }                                // 46
    virtual bool GetVendorString(char* /*text*/) { return false; }                             // 47
    virtual bool GetProductString(char* /*text*/) { return false; }                            // 48
    virtual int32_t GetVendorVersion() { return 0; }                                           // 49
    virtual intptr_t VendorSpecific(int32_t /*index*/, intptr_t /*value*/, void*, float) {
        return 0; // 50
    }
    virtual int32_t CanDo(const char* /*text*/) { return 0; }                    // 51
    virtual int32_t GetTailSize() { return 0; }                                  // 52
    virtual int32_t FxIdle() { return 0; }                                       // 53
    virtual void* GetIcon() { return nullptr; }                                  // 54
    virtual bool SetViewPosition(int32_t /*x*/, int32_t /*y*/) { return false; } // 55
    virtual bool GetParameterProperties(int32_t /*index*/, ParameterProperties*) {
        return false; // 56
    }
    virtual bool KeysRequired() { return true; }            // 57; the editor takes the keys
    virtual int32_t GetVstVersion() { return kVstVersion; } // 58
    virtual int32_t GetMidiProgramName(int32_t /*channel*/, MidiProgramName*) { return 0; } // 62
    virtual int32_t GetCurrentMidiProgram(int32_t /*channel*/, MidiProgramName*) {
        return -1; // 63: none
    }
    virtual int32_t GetMidiProgramCategory(int32_t /*channel*/, MidiProgramCategory*) {
        return 0; // 64
    }
    virtual bool HasMidiProgramsChanged(int32_t /*channel*/) { return false; }       // 65
    virtual bool GetMidiKeyName(int32_t /*channel*/, MidiKeyName*) { return false; } // 66
    virtual bool BeginSetProgram() { return false; }                                 // 67
    virtual bool EndSetProgram() { return false; }                                   // 68
    // 69: no arrangement, stored into each out-pointer that is given.
    virtual bool GetSpeakerArrangement(SpeakerArrangement** input, SpeakerArrangement** output);
    virtual int32_t GetNextShellPlugin(char* /*name*/) { return 0; }           // 70
    virtual int32_t StartProcess() { return 0; }                               // 71
    virtual int32_t StopProcess() { return 0; }                                // 72
    virtual int32_t SetTotalSampleToProcess(int32_t value) { return value; }   // 73
    virtual bool SetPanLaw(int32_t /*type*/, float /*gain*/) { return false; } // 74
    virtual int32_t BeginLoadBank(PatchChunkInfo*) { return 0; }               // 75
    virtual int32_t BeginLoadProgram(PatchChunkInfo*) { return 0; }            // 76
    virtual bool SetProcessPrecision(int32_t /*precision*/) { return false; }  // 77
    virtual int32_t GetNumMidiInputChannels() { return 0; }                    // 78
    virtual int32_t GetNumMidiOutputChannels() { return 0; }                   // 79
    virtual float GetChannelParameter(int32_t /*channel*/, int32_t /*index*/) { return 0.0f; }
    virtual int32_t GetNumMidiPrograms(int32_t /*channel*/) { return 0; }
    virtual bool IsBypassed() { return false; }

    // Speaker arrangements. An allocation replaces (and frees) what *arrangement
    // held, so it must be null or an earlier allocation; counts outside
    // 0..kMaxSpeakerChannels are refused and leave it untouched.
    virtual bool AllocateArrangement(SpeakerArrangement** arrangement, int32_t channelCount);
    virtual bool DeallocateArrangement(SpeakerArrangement** arrangement);
    virtual bool CopySpeaker(SpeakerProperties* to, const SpeakerProperties* from);
    virtual bool MatchArrangement(SpeakerArrangement** to, const SpeakerArrangement* from);
};
