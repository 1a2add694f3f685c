#include "CParameterManager.h"

#include "CVSProcess.h"
#include "Trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The change queue reads indices as 16 bits and keeps 4098 and up for itself.
constexpr int32_t kMostParameters = 4097;

void emptyText(char* text, size_t length) {
    if (text && length)
        text[0] = '\0';
}

} // namespace

PARAMETER::PARAMETER(int32_t index, CParameterManager* manager, float defaultValue, int32_t intMinimum,
                     int32_t intMaximum, int32_t attribute, uint8_t attributeByte)
    : default_(defaultValue), manager_(manager), index_(index), value_(defaultValue), intMinimum_(intMinimum),
      intMaximum_(intMaximum), furtherAttribute_(attribute), attributeByte_(attributeByte) {
    if (manager_ && index_ >= 0 && index_ < manager_->MaxParameters() && !manager_->parameterAt(index_))
        manager_->Register(index_, this);
}

PARAMETER::PARAMETER(int32_t index, CParameterManager* manager, int32_t intValue, int32_t intMinimum,
                     int32_t intMaximum, int32_t attribute, uint8_t attributeByte)
    : manager_(manager), index_(index), intValue_(intValue), isInt_(1), intMinimum_(intMinimum),
      intMaximum_(intMaximum), furtherAttribute_(attribute), attributeByte_(attributeByte) {
    if (manager_ && index_ >= 0 && index_ < manager_->MaxParameters() && !manager_->parameterAt(index_))
        manager_->Register(index_, this);
}

PARAMETER::~PARAMETER() {
    if (!manager_)
        return;
    if (index_ < 0 || index_ >= manager_->MaxParameters() || manager_->parameterAt(index_) != this) {
        debugTrace("parameter %d is not the one registered there\n", index_);
        return;
    }
    manager_->Unregister(index_);
}

void PARAMETER::SetValue(float value) {
    value_ = value;
    ValueChanged();
}

void PARAMETER::Reserved(int32_t) {}

void PARAMETER::Notify() {
    if (manager_ && manager_->changeQueue())
        manager_->changeQueue()->Queue(index_);
}

void PARAMETER::Format(char* text, size_t length, int32_t) { emptyText(text, length); }
void PARAMETER::FormatLabel(char* text, size_t length) { emptyText(text, length); }

float PARAMETER::TextToValue(const char*) { return 0.0f; }

void PARAMETER::Hook() {}

void PARAMETER::ValueChanged() { cachedByte_ = 0; }

void PARAMETER::setName(const char* name) {
    std::memset(name_, 0, sizeof name_);
    if (name)
        std::strncpy(name_, name, sizeof name_ - 1);
}

CParameterManager::CParameterManager(int32_t maxParameters)
    : maxParameters_(std::clamp(maxParameters, 0, kMostParameters)),
      table_(std::make_unique<PARAMETER*[]>(size_t(maxParameters_) + 1)) {}

CParameterManager::~CParameterManager() {
    // Parameters that outlive the manager must not clear an entry in freed memory.
    for (int32_t i = 0; i < maxParameters_; ++i)
        if (table_[size_t(i)])
            table_[size_t(i)]->manager_ = nullptr;
}

PARAMETER* CParameterManager::Register(int32_t index, PARAMETER* parameter) {
    if (index < 0 || index >= maxParameters_) {
        debugTrace("trying to REGISTER beyond MaxParameters --- %d", index);
        return nullptr;
    }
    PARAMETER*& entry = table_[size_t(index)];
    if (entry)
        debugTrace("\n************ %d ALREADY REGISTERED *********", index);
    else
        entry = parameter;
    return entry;
}

void CParameterManager::Unregister(int32_t index) {
    if (index < 0 || index >= maxParameters_) {
        debugTrace("trying to UNREGISTER beyond MaxParameters --- %d", index);
        return;
    }
    if (!table_[size_t(index)]) {
        debugTrace("\n************ %d NOT REGISTERED *********", index);
        return;
    }
    table_[size_t(index)] = nullptr;
}

void CParameterManager::UnregisterAll() {
    for (int32_t i = 0; i < maxParameters_; ++i)
        table_[size_t(i)] = nullptr;
}

void CParameterManager::ReportUnregistered() const {
    int32_t missing = 0;
    for (int32_t i = 0; i < maxParameters_; ++i)
        if (!table_[size_t(i)]) {
            debugTrace("\nPARAM %d UNREGISTERED", i);
            ++missing;
        }
    debugTrace("\n\n**** %d of %d PARAMS UNREGISTERED **** \n P.S. OK if this shows one unregistered "
               "(MAX_AUTOMATABLE_PARAMS..)\n",
               missing, maxParameters_);
}

PARAMETER* CParameterManager::parameterAt(int32_t index) const {
    return index >= 0 && index < maxParameters_ ? table_[size_t(index)] : nullptr;
}

PARAMETER* CParameterManager::checked(int32_t index, const char* trace) const {
    PARAMETER* parameter = parameterAt(index);
    if (!parameter && trace)
        debugTrace(trace, index);
    return parameter;
}

float CParameterManager::GetValue(int32_t index) const {
    PARAMETER* p = checked(index, "invalid param GetValue %d\n");
    return p ? p->GetValue() : 0.0f;
}

int32_t CParameterManager::GetScaledValue(int32_t index, int32_t steps) const {
    PARAMETER* p = checked(index, nullptr);
    if (!p)
        return 0;
    const double scaled = double(p->GetValue()) * std::clamp(steps, 0, 255);
    if (!std::isfinite(scaled))
        return 0;
    // Nearest whole number, halves toward zero.
    const double whole = std::trunc(scaled);
    const double fraction = scaled - whole;
    double result = whole;
    if (fraction > 0.5)
        result += 1;
    else if (fraction < -0.5)
        result -= 1;
    return int32_t(std::clamp(result, -2147483648.0, 2147483647.0));
}

uint8_t CParameterManager::GetCachedByte(int32_t index) const {
    PARAMETER* p = checked(index, "invalid param GetValue %d\n");
    return p ? p->cachedByte() : 0;
}

int32_t CParameterManager::GetIntValue(int32_t index) const {
    PARAMETER* p = checked(index, "invalid param GetIntValue %d\n");
    return p ? p->GetIntValue() : 0;
}

bool CParameterManager::IsIntParam(int32_t index) const {
    PARAMETER* p = checked(index, "invalid param IsIntParam %d\n");
    return p && p->isInt();
}

float CParameterManager::GetMin(int32_t index) const {
    PARAMETER* p = checked(index, "invalid param GetMin %d\n");
    return p ? p->minimum() : 0.0f;
}

float CParameterManager::GetMax(int32_t index) const {
    PARAMETER* p = checked(index, "invalid param GetMax %d\n");
    return p ? p->maximum() : 1.0f;
}

int32_t CParameterManager::GetIntMin(int32_t index) const {
    PARAMETER* p = parameterAt(index);
    return p ? p->intMinimum() : 0;
}

int32_t CParameterManager::GetIntMax(int32_t index) const {
    PARAMETER* p = parameterAt(index);
    return p ? p->intMaximum() : 0;
}

int32_t CParameterManager::GetFurtherAttribute(int32_t index) const {
    PARAMETER* p = parameterAt(index);
    return p ? p->furtherAttribute() : 0;
}

uint8_t CParameterManager::GetAttributeByte(int32_t index) const {
    PARAMETER* p = parameterAt(index);
    return p ? p->attributeByte() : 0;
}

bool CParameterManager::GetEnabled(int32_t index) const {
    PARAMETER* p = parameterAt(index);
    return p && p->enabled();
}

void CParameterManager::SetValue(int32_t index, float value) {
    if (PARAMETER* p = parameterAt(index))
        p->SetValue(value);
}

void CParameterManager::SetValueRatio(int32_t index, uint8_t numerator, uint8_t denominator) {
    // A zero denominator would store infinity or NaN.
    if (denominator == 0)
        return;
    SetValue(index, float(numerator) / float(denominator));
}

float CParameterManager::TextToValue(int32_t index, const char* text) {
    PARAMETER* p = checked(index, "invalid ::Format %d\n");
    return p && text ? p->TextToValue(text) : 0.0f;
}

void CParameterManager::Format(int32_t index, char* text, size_t length, int32_t maximumSteps) {
    emptyText(text, length);
    PARAMETER* p = checked(index, "invalid ::Format %d\n");
    if (!p || !text || !length)
        return;
    const auto range = static_cast<uint8_t>(p->intMaximum() - p->intMinimum());
    p->Format(text, length, std::min<int32_t>(range, maximumSteps));
    text[length - 1] = '\0'; // whatever a specialised Format wrote
}

void CParameterManager::displayText(int index, char* buffer, size_t length) const {
    const_cast<CParameterManager*>(this)->Format(index, buffer, length, 255);
}

bool CParameterManager::parseText(int index, const char* text, float& normalized) const {
    if (!parameterAt(index) || !text)
        return false;
    normalized = const_cast<CParameterManager*>(this)->TextToValue(index, text);
    return true;
}

const uint8_t* CParameterManager::GetStateInfoBuffer(size_t* size) {
    debugTrace("write preset--------------");
    if (!size)
        return nullptr;
    const size_t bytes = 2 * size_t(maxParameters_) + 1;
    *size = bytes;
    if (!state_)
        state_ = std::make_unique<uint8_t[]>(bytes);
    state_[0] = kStateVersion;
    for (int32_t i = 0; i < maxParameters_; ++i) {
        uint16_t stored = 0;
        if (PARAMETER* p = table_[size_t(i)]) {
            // Out-of-range values would not fit 16 bits: they are held at the ends.
            const double scaled = std::trunc(double(p->GetValue()) * 65535.0);
            stored = std::isnan(scaled) ? 0 : uint16_t(std::clamp(scaled, 0.0, 65535.0));
        }
        state_[1 + 2 * size_t(i)] = uint8_t(stored >> 8);
        state_[2 + 2 * size_t(i)] = uint8_t(stored & 0xFF);
    }
    return state_.get();
}

bool CParameterManager::SetStateInfoBuffer(const uint8_t* buffer, size_t size) {
    debugTrace("read preset--------------\n");
    if (!buffer) {
        debugTrace("bad call to SetStateInfoBuffer");
        return false;
    }
    if (size != 2 * size_t(maxParameters_) + 1) {
        debugTrace("wrong state size buffer\n");
        return false;
    }
    if (buffer[0] > kStateVersion) {
        debugTrace("wrong state version\n");
        return false;
    }
    for (int32_t i = 0; i < maxParameters_; ++i) {
        PARAMETER* p = table_[size_t(i)];
        if (!p)
            continue;
        const unsigned stored = unsigned(buffer[1 + 2 * size_t(i)]) << 8 | buffer[2 + 2 * size_t(i)];
        p->SetValue(float(stored / 65535.0));
        debugTrace("%d - %f\n", i, double(p->GetValue()));
    }
    return true;
}
