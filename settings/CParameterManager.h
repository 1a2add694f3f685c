#pragma once

#include "ParameterAccess.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CParameterManager;
class CVSProcess;

// One value a host can automate: a float in [minimum, maximum] (normally 0..1) or an
// integer, registered in a manager's table at its index. The manager does not own it;
// destroying it frees its entry. Specialised parameters override the display texts.
class PARAMETER {
public:
    static constexpr size_t kNameLength = 32;

    // A float parameter: the value starts at the default.
    PARAMETER(int32_t index, CParameterManager* manager, float defaultValue, int32_t intMinimum,
              int32_t intMaximum, int32_t attribute, uint8_t attributeByte);
    // An integer parameter.
    PARAMETER(int32_t index, CParameterManager* manager, int32_t intValue, int32_t intMinimum,
              int32_t intMaximum, int32_t attribute, uint8_t attributeByte);
    PARAMETER(const PARAMETER&) = delete;
    PARAMETER& operator=(const PARAMETER&) = delete;
    virtual ~PARAMETER();

    virtual void SetValue(float value);
    virtual void Reserved(int32_t argument);
    virtual float GetValue() const { return value_; }
    virtual int32_t GetIntValue() const { return intValue_; }
    virtual float GetDefault() const { return default_; }
    virtual void Notify();
    virtual const char* GetName() const { return name_; }
    virtual int32_t GetAttribute() const { return attribute_; }
    // Display texts; `length` is the room in text, terminator included.
    virtual void Format(char* text, size_t length, int32_t steps);
    virtual void FormatLabel(char* text, size_t length);
    virtual float TextToValue(const char* text);
    virtual void Hook();
    virtual void ValueChanged();

    int32_t index() const { return index_; }
    CParameterManager* manager() const { return manager_; }
    bool isInt() const { return isInt_ != 0; }
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    bool enabled() const { return enabled_ != 0; }
    void setEnabled(bool on) { enabled_ = on ? 1 : 0; }
    int32_t intMinimum() const { return intMinimum_; }
    int32_t intMaximum() const { return intMaximum_; }
    int32_t furtherAttribute() const { return furtherAttribute_; }
    uint8_t attributeByte() const { return attributeByte_; }
    uint8_t cachedByte() const { return cachedByte_; }
    // The name is cut to fit its 32 characters.
    void setName(const char* name);

protected:
    friend class CParameterManager;
    void setRange(float minimum, float maximum) { minimum_ = minimum, maximum_ = maximum; }
    void setIntValue(int32_t value) { intValue_ = value; }

    float default_ = 0.0f;
    CParameterManager* manager_ = nullptr;
    char name_[kNameLength] = {};
    int32_t index_ = 0;
    float value_ = 0.0f;
    int32_t intValue_ = 0;
    float minimum_ = 0.0f;
    float maximum_ = 1.0f;
    uint8_t isInt_ = 0;
    int32_t attribute_ = 0;
    uint8_t enabled_ = 1;
    int32_t intMinimum_ = 0;
    int32_t intMaximum_ = 0;
    int32_t furtherAttribute_ = 0;
    uint8_t attributeByte_ = 0;
    uint8_t divisor_ = 128;
    uint8_t masks_[3] = {255, 255, 255};
    uint8_t shift_ = 0;
    uint8_t cachedByte_ = 0;
};

// A fixed table of parameters by index, with the preset state buffer. Every access by
// index tolerates an index beyond the table or a free entry: it traces and answers a
// fallback. Controls reach it through the page manager's change queue.
class CParameterManager : public ParameterAccess {
public:
    static constexpr uint8_t kStateVersion = 1;

    explicit CParameterManager(int32_t maxParameters);
    CParameterManager(const CParameterManager&) = delete;
    CParameterManager& operator=(const CParameterManager&) = delete;
    ~CParameterManager() override;

    int32_t MaxParameters() const { return maxParameters_; }
    CVSProcess* changeQueue() const { return changeQueue_; }
    void setChangeQueue(CVSProcess* queue) { changeQueue_ = queue; }

    PARAMETER* Register(int32_t index, PARAMETER* parameter);
    void Unregister(int32_t index);
    void UnregisterAll();
    void ReportUnregistered() const;
    // The registered parameter, or null (no trace).
    PARAMETER* parameterAt(int32_t index) const;

    float GetValue(int32_t index) const;
    int32_t GetScaledValue(int32_t index, int32_t steps) const;
    uint8_t GetCachedByte(int32_t index) const;
    int32_t GetIntValue(int32_t index) const;
    bool IsIntParam(int32_t index) const;
    float GetMin(int32_t index) const;
    float GetMax(int32_t index) const;
    int32_t GetIntMin(int32_t index) const;
    int32_t GetIntMax(int32_t index) const;
    int32_t GetFurtherAttribute(int32_t index) const;
    uint8_t GetAttributeByte(int32_t index) const;
    bool GetEnabled(int32_t index) const;
    void SetValue(int32_t index, float value);
    void SetValueRatio(int32_t index, uint8_t numerator, uint8_t denominator);
    float TextToValue(int32_t index, const char* text);
    void Format(int32_t index, char* text, size_t length, int32_t maximumSteps);

    // The preset: 2 x MaxParameters + 1 bytes, owned here. Null without a size pointer.
    const uint8_t* GetStateInfoBuffer(size_t* size);
    // Restores every registered parameter, or changes nothing and answers false.
    bool SetStateInfoBuffer(const uint8_t* buffer, size_t size);

    // What controls ask.
    int parameterCount() const override { return maxParameters_; }
    bool isRegistered(int index) const override { return parameterAt(index) != nullptr; }
    float normalizedValue(int index) const override { return GetValue(index); }
    bool isIntParameter(int index) const override { return IsIntParam(index); }
    void displayText(int index, char* buffer, size_t length) const override;
    bool parseText(int index, const char* text, float& normalized) const override;

private:
    PARAMETER* checked(int32_t index, const char* trace) const;

    CVSProcess* changeQueue_ = nullptr;
    std::unique_ptr<uint8_t[]> state_;
    int32_t maxParameters_;
    std::unique_ptr<PARAMETER*[]> table_;
};
