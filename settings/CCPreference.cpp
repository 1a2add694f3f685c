#include "CCPreference.h"

#include "Trace.h"
#include "UiPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

struct Process {
    std::string key;
    std::vector<CCPreferenceManager*> managers;
    SettingsStore* store = nullptr;
};

Process& process() {
    static Process shared;
    return shared;
}

// At most `size` bytes of text, stopping at a terminator.
std::string boundedText(const uint8_t* bytes, size_t size) {
    if (!bytes)
        return {};
    const auto* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}

// The decimal number the text starts with ("12abc" is 12), held to 32 bits.
int32_t decimalOf(const std::string& text) {
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return int32_t(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

int32_t saturated(double value) {
    if (std::isnan(value))
        return 0;
    return int32_t(std::clamp(std::trunc(value), double(INT32_MIN), double(INT32_MAX)));
}

void copyName(char* field, size_t room, const char* name) {
    if (name && std::strlen(name) < room)
        std::memcpy(field, name, std::strlen(name) + 1);
}

} // namespace

// ---- CCPreference ----

CCPreference::CCPreference(Kind kind, uint32_t storedSize, uint16_t id, const char* name,
                           CCPreferenceManager* manager, int32_t extra)
    : kind_(kind), storedSize_(storedSize), id_(id), manager_(manager), extra_(extra) {
    copyName(name_, sizeof name_, name);
}

CCPreference::~CCPreference() = default;

const char* CCPreference::asText() { return nullptr; }
int32_t CCPreference::asInt() const { return 0; }
float CCPreference::asFloat() const { return 0.0f; }
const uint8_t* CCPreference::dataBytes() const { return nullptr; }
bool CCPreference::isVariableSize() const { return false; }
float CCPreference::defaultFloat() const { return 0.0f; }
int32_t CCPreference::defaultInt() const { return 0; }
void CCPreference::assign(double) {}
void CCPreference::assignRaw(const uint8_t*, size_t) {}

bool CCPreference::set(double value, bool save) {
    assign(value);
    const bool stored = save ? write() : true;
    CCPreferenceManager::broadcast(this);
    return stored;
}

bool CCPreference::setRaw(const uint8_t* bytes, bool save, size_t size) {
    assignRaw(bytes, size);
    const bool stored = save ? write() : true;
    CCPreferenceManager::broadcast(this);
    return stored;
}

bool CCPreference::write() {
    SettingsStore* store = manager_ ? manager_->store() : nullptr;
    if (!store || !named())
        return false;
    if (kind_ == kData) {
        const uint8_t* bytes = dataBytes();
        return bytes && store->writeBinary(name_, std::string(reinterpret_cast<const char*>(bytes), storedSize_));
    }
    const char* text = asText();
    if (!text) {
        debugTrace("NO DATA IN PREF\n");
        return false;
    }
    return store->writeText(name_, text);
}

bool CCPreference::load() {
    SettingsStore* store = manager_ ? manager_->store() : nullptr;
    const size_t room = isVariableSize() ? SettingsStore::kMaxValueBytes : storedSize_;
    SettingsStore::Kind stored{};
    std::string bytes;
    const bool accepted = store && named() && store->readValue(name_, stored, bytes, room) &&
                          stored == (kind_ == kData ? SettingsStore::Kind::Binary : SettingsStore::Kind::Text);
    if (!accepted) {
        // Missing or of another type: the default is stored in its place.
        const bool written = write();
        if (manager_)
            manager_->sync(this);
        return written;
    }
    // Zero-filled to the size read, as the store's buffer would be.
    std::vector<uint8_t> buffer(std::max(room, bytes.size()) + 1, 0);
    std::memcpy(buffer.data(), bytes.data(), bytes.size());
    setRaw(buffer.data(), false, isVariableSize() ? bytes.size() : 0);
    return true;
}

// ---- integer ----

CCIntPreference::CCIntPreference(uint16_t id, const char* name, CCPreferenceManager* manager,
                                 int32_t defaultValue, int32_t extra)
    : CCPreference(kInteger, 64, id, name, manager, extra), value_(defaultValue), default_(defaultValue) {}

CCIntPreference::CCIntPreference(Kind kind, uint16_t id, const char* name, CCPreferenceManager* manager,
                                 int32_t extra)
    : CCPreference(kind, 64, id, name, manager, extra) {}

const char* CCIntPreference::asText() {
    std::snprintf(text_, sizeof text_, "%d", value_);
    return text_;
}

void CCIntPreference::assign(double value) { value_ = saturated(value); }

void CCIntPreference::assignRaw(const uint8_t* bytes, size_t size) {
    value_ = decimalOf(boundedText(bytes, size ? size : storedSize_));
}

// ---- float ----

CCFloatPreference::CCFloatPreference(uint16_t id, const char* name, CCPreferenceManager* manager,
                                     float defaultValue, int32_t extra)
    : CCIntPreference(kFloat, id, name, manager, extra), value_(defaultValue), default_(defaultValue) {}

const char* CCFloatPreference::asText() {
    std::snprintf(text_, sizeof text_, "%f", double(value_));
    return text_;
}

int32_t CCFloatPreference::asInt() const { return saturated(value_); }

void CCFloatPreference::assign(double value) { value_ = float(value); }

void CCFloatPreference::assignRaw(const uint8_t* bytes, size_t size) {
    const std::string text = boundedText(bytes, size ? size : storedSize_);
    const double parsed = std::strtod(text.c_str(), nullptr);
    // "inf", "nan" or beyond a float: nothing a control could show.
    value_ = std::isfinite(parsed) && std::fabs(parsed) <= 3.4e38 ? float(parsed) : default_;
}

// ---- string ----

CCStringPreference::CCStringPreference(uint16_t id, const char* name, CCPreferenceManager* manager,
                                       const char* initial)
    : CCPreference(kString, kTextSize, id, name, manager, 0) {
    assignRaw(reinterpret_cast<const uint8_t*>(initial), initial ? std::strlen(initial) : 0);
}

int32_t CCStringPreference::asInt() const { return decimalOf(text_); }

void CCStringPreference::assignRaw(const uint8_t* bytes, size_t size) {
    const std::string text = boundedText(bytes, size ? size : kTextSize);
    const size_t kept = std::min(text.size(), kTextSize - 1);
    std::memcpy(text_, text.data(), kept);
    text_[kept] = '\0';
}

// ---- data ----

CCDataPreference::CCDataPreference(uint16_t id, const char* name, CCPreferenceManager* manager,
                                   const uint8_t* initial, size_t size)
    : CCPreference(kData, uint32_t(std::min(size, SettingsStore::kMaxValueBytes)), id, name, manager, 0),
      variable_(size == 0) {
    if (storedSize_) {
        bytes_ = std::make_unique<uint8_t[]>(storedSize_);
        if (initial)
            std::memcpy(bytes_.get(), initial, storedSize_);
    }
}

CCDataPreference::~CCDataPreference() = default;

void CCDataPreference::assignRaw(const uint8_t* bytes, size_t size) {
    size = std::min(size, SettingsStore::kMaxValueBytes);
    if (size != 0 && size != storedSize_) {
        bytes_ = std::make_unique<uint8_t[]>(size);
        storedSize_ = uint32_t(size);
    }
    if (bytes && bytes_)
        std::memcpy(bytes_.get(), bytes, size ? std::min<size_t>(size, storedSize_) : storedSize_);
}

// ---- manager ----

CCPreferenceManager::CCPreferenceManager(const char* key, CCPageObject* owner, SettingsStore* store)
    : owner_(owner), store_(store) {
    preferences_.reserve(10);
    process().key = key ? key : "";
    process().managers.push_back(this);
}

CCPreferenceManager::~CCPreferenceManager() {
    for (auto it = preferences_.rbegin(); it != preferences_.rend(); ++it)
        delete *it;
    for (CCPreference* preference : refused_)
        delete preference;
    auto& managers = process().managers;
    managers.erase(std::remove(managers.begin(), managers.end(), this), managers.end());
}

void CCPreferenceManager::created() {}
void CCPreferenceManager::onPreferenceChanged(CCPreference*) {}

SettingsStore* CCPreferenceManager::store() const { return store_ ? store_ : process().store; }

bool CCPreferenceManager::add(CCPreference* preference) {
    if (!preference)
        return false;
    if (!preference->named() || preference->manager() != this ||
        std::find(preferences_.begin(), preferences_.end(), preference) != preferences_.end()) {
        if (std::find(refused_.begin(), refused_.end(), preference) == refused_.end() &&
            std::find(preferences_.begin(), preferences_.end(), preference) == preferences_.end())
            refused_.push_back(preference);
        return false;
    }
    preferences_.push_back(preference);
    preference->load();
    return true;
}

CCPreference* CCPreferenceManager::find(uint16_t id) const {
    for (CCPreference* preference : preferences_)
        if (preference->id() == id)
            return preference;
    return nullptr;
}

const char* CCPreferenceManager::textOf(uint16_t id) const {
    CCPreference* p = find(id);
    return p ? p->asText() : nullptr;
}

int32_t CCPreferenceManager::intOf(uint16_t id) const {
    CCPreference* p = find(id);
    return p ? p->asInt() : 0;
}

const uint8_t* CCPreferenceManager::dataOf(uint16_t id) const {
    CCPreference* p = find(id);
    return p && p->kind() == CCPreference::kData ? p->dataBytes() : nullptr;
}

int32_t CCPreferenceManager::extraOf(uint16_t id) const {
    CCPreference* p = find(id);
    return p ? p->extra() : 0;
}

int32_t CCPreferenceManager::typeOf(uint16_t id) const {
    CCPreference* p = find(id);
    return p ? p->kind() : -1;
}

bool CCPreferenceManager::setIntOf(uint16_t id, int32_t value, bool save) {
    debugTrace("Setting pref now ID %d  %d\n", int(id), value);
    CCPreference* p = find(id);
    return p && p->set(value, save);
}

bool CCPreferenceManager::setFloatOf(uint16_t id, float value, bool save) {
    debugTrace("Setting pref now ID %d  %d\n", int(id), saturated(value));
    CCPreference* p = find(id);
    return p && p->set(value, save);
}

bool CCPreferenceManager::setRawOf(uint16_t id, const uint8_t* bytes, bool save, size_t size) {
    CCPreference* p = find(id);
    return p && p->setRaw(bytes, save, size);
}

void CCPreferenceManager::sync(CCPreference* given) {
    if (!given)
        return;
    CCPreference* own = find(given->id());
    if (!own)
        return;
    if (own != given) {
        switch (given->kind()) {
        case CCPreference::kInteger:
            own->assign(given->asInt());
            break;
        case CCPreference::kFloat:
            own->assign(given->asFloat());
            break;
        case CCPreference::kString:
            // With its terminator: a size of 0 would mean "as many bytes as the
            // receiver stores", read past an empty text.
            if (const char* text = given->asText())
                own->assignRaw(reinterpret_cast<const uint8_t*>(text), std::strlen(text) + 1);
            break;
        case CCPreference::kData:
            if (given->dataBytes())
                own->assignRaw(given->dataBytes(), given->storedSize());
            break;
        default:
            break;
        }
    }
    onPreferenceChanged(given);
}

void CCPreferenceManager::broadcast(CCPreference* preference) {
    // A copy: a manager's reaction may create or destroy managers.
    const std::vector<CCPreferenceManager*> managers = process().managers;
    for (CCPreferenceManager* manager : managers)
        if (std::find(process().managers.begin(), process().managers.end(), manager) != process().managers.end())
            manager->sync(preference);
}

void CCPreferenceManager::loadAll() {
    for (CCPreference* preference : preferences_) {
        preference->load();
        sync(preference);
    }
}

std::string CCPreferenceManager::registryKey() { return process().key; }
SettingsStore* CCPreferenceManager::processStore() { return process().store; }
SettingsStore* CCPreferenceManager::setProcessStore(SettingsStore* store) {
    return std::exchange(process().store, store);
}
size_t CCPreferenceManager::liveManagers() { return process().managers.size(); }

PreferenceAccess::Kind CCPreferenceManager::find(uint16_t id, int32_t& integer, float& real) const {
    CCPreference* p = find(id);
    if (!p)
        return PreferenceAccess::Kind::None;
    switch (p->kind()) {
    case CCPreference::kInteger:
        integer = p->asInt();
        return PreferenceAccess::Kind::Integer;
    case CCPreference::kFloat:
        real = p->asFloat();
        return PreferenceAccess::Kind::Float;
    default:
        return PreferenceAccess::Kind::Other;
    }
}
