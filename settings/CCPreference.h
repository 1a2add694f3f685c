#pragma once

#include "ParameterAccess.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCPageObject;
class CCPreferenceManager;
class SettingsStore;

// A named, typed value stored under the program's settings key, which controls whose
// tag names its id show and set. Owned by its manager.
class CCPreference {
public:
    enum Kind : int32_t { kInteger = 0, kFloat = 1, kString = 2, kData = 3 };
    // The name field holds 33 characters; a longer name leaves the preference
    // unnamed, and its manager refuses it.
    static constexpr size_t kNameLength = 33;

    CCPreference(const CCPreference&) = delete;
    CCPreference& operator=(const CCPreference&) = delete;

    virtual const char* asText();
    virtual int32_t asInt() const;
    virtual float asFloat() const;
    virtual const uint8_t* dataBytes() const;
    virtual bool isVariableSize() const;
    virtual float defaultFloat() const;
    virtual int32_t defaultInt() const;
    virtual ~CCPreference();
    // Assign, store when save is set (its success is the answer), tell every manager.
    virtual bool set(double value, bool save);
    virtual bool setRaw(const uint8_t* bytes, bool save, size_t size);
    virtual void assign(double value);
    // From stored bytes; size is how many there are.
    virtual void assignRaw(const uint8_t* bytes, size_t size);

    int32_t kind() const { return kind_; }
    uint32_t storedSize() const { return storedSize_; }
    uint16_t id() const { return id_; }
    const char* name() const { return name_; }
    bool named() const { return name_[0] != '\0'; }
    CCPreferenceManager* manager() const { return manager_; }
    int32_t extra() const { return extra_; }

    // To and from the settings store. Load writes the default over a missing or
    // mistyped value; both answer whether the store took a value.
    bool write();
    bool load();

protected:
    CCPreference(Kind kind, uint32_t storedSize, uint16_t id, const char* name, CCPreferenceManager* manager,
                 int32_t extra);

    int32_t kind_;
    uint32_t storedSize_;
    uint16_t id_;
    char name_[kNameLength + 1] = {};
    CCPreferenceManager* manager_;
    int32_t extra_;
};

class CCIntPreference : public CCPreference {
public:
    CCIntPreference(uint16_t id, const char* name, CCPreferenceManager* manager, int32_t defaultValue,
                    int32_t extra);
    const char* asText() override;
    int32_t asInt() const override { return value_; }
    int32_t defaultInt() const override { return default_; }
    void assign(double value) override;
    void assignRaw(const uint8_t* bytes, size_t size) override;

protected:
    CCIntPreference(Kind kind, uint16_t id, const char* name, CCPreferenceManager* manager, int32_t extra);

    int32_t value_ = 0;
    int32_t default_ = 0;
    char text_[64] = {};
};

class CCFloatPreference : public CCIntPreference {
public:
    CCFloatPreference(uint16_t id, const char* name, CCPreferenceManager* manager, float defaultValue,
                      int32_t extra);
    const char* asText() override;
    int32_t asInt() const override;
    float asFloat() const override { return value_; }
    float defaultFloat() const override { return default_; }
    int32_t defaultInt() const override { return 0; }
    void assign(double value) override;
    void assignRaw(const uint8_t* bytes, size_t size) override;

private:
    float value_ = 0.0f;
    float default_ = 0.0f;
    char text_[64] = {};
};

class CCStringPreference : public CCPreference {
public:
    static constexpr size_t kTextSize = 256;
    CCStringPreference(uint16_t id, const char* name, CCPreferenceManager* manager, const char* initial);
    const char* asText() override { return text_; }
    int32_t asInt() const override;
    // At most 255 characters are kept.
    void assignRaw(const uint8_t* bytes, size_t size) override;

private:
    char text_[kTextSize] = {};
};

class CCDataPreference : public CCPreference {
public:
    // Size 0: the size follows what is stored (up to the store's limit).
    CCDataPreference(uint16_t id, const char* name, CCPreferenceManager* manager, const uint8_t* initial,
                     size_t size);
    ~CCDataPreference() override;
    const uint8_t* dataBytes() const override { return bytes_.get(); }
    bool isVariableSize() const override { return variable_; }
    void assignRaw(const uint8_t* bytes, size_t size) override;

private:
    std::unique_ptr<uint8_t[]> bytes_;
    bool variable_;
};

// Owns a set of preferences under one settings key and keeps every manager in the
// process in step: a change to one is synced to each manager holding its id. Runs
// on the user-interface thread only.
class CCPreferenceManager : public PreferenceAccess {
public:
    // store: where the values live; the process's preference store when null.
    CCPreferenceManager(const char* key, CCPageObject* owner, SettingsStore* store = nullptr);
    CCPreferenceManager(const CCPreferenceManager&) = delete;
    CCPreferenceManager& operator=(const CCPreferenceManager&) = delete;
    ~CCPreferenceManager() override;
    virtual void created();
    virtual void onPreferenceChanged(CCPreference* preference);

    // Takes ownership and loads it; false (still owned, never stored) for a
    // preference without a name or of another manager.
    bool add(CCPreference* preference);
    CCPreference* find(uint16_t id) const;
    const char* textOf(uint16_t id) const;
    int32_t intOf(uint16_t id) const;
    const uint8_t* dataOf(uint16_t id) const;
    int32_t extraOf(uint16_t id) const;
    // The kind, or -1 for none.
    int32_t typeOf(uint16_t id) const;
    bool setIntOf(uint16_t id, int32_t value, bool save);
    bool setFloatOf(uint16_t id, float value, bool save);
    bool setRawOf(uint16_t id, const uint8_t* bytes, bool save, size_t size);
    void sync(CCPreference* preference);
    void loadAll();
    static void broadcast(CCPreference* preference);

    CCPageObject* owner() const { return owner_; }
    SettingsStore* store() const;
    size_t count() const { return preferences_.size(); }

    // The key every manager stores under: the last one constructed sets it.
    static std::string registryKey();
    // The process's store for preferences (the window's settings); may be null.
    static SettingsStore* processStore();
    static SettingsStore* setProcessStore(SettingsStore* store);
    static size_t liveManagers();

    // Makes a store the process's for its own lifetime, then puts the one before back.
    class ScopedProcessStore {
    public:
        explicit ScopedProcessStore(SettingsStore* store) : previous_(setProcessStore(store)) {}
        ~ScopedProcessStore() { setProcessStore(previous_); }
        ScopedProcessStore(const ScopedProcessStore&) = delete;
        ScopedProcessStore& operator=(const ScopedProcessStore&) = delete;

    private:
        SettingsStore* previous_;
    };

    // For controls: integer and float preferences.
    Kind find(uint16_t id, int32_t& integer, float& real) const override;

private:
    std::vector<CCPreference*> preferences_;
    std::vector<CCPreference*> refused_;
    CCPageObject* owner_;
    SettingsStore* store_;
};
