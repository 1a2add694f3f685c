#pragma once

#include <cstddef>
#include <cstdint>

// What controls may ask of a parameter manager, reached through the page manager's
// change queue. This program attaches none, so controls find nothing bound.
class ParameterAccess {
public:
    virtual ~ParameterAccess() = default;
    virtual int parameterCount() const = 0;
    virtual bool isRegistered(int index) const = 0;
    virtual float normalizedValue(int index) const = 0;
    virtual bool isIntParameter(int index) const = 0;
    // The parameter's display text, always terminated within length.
    virtual void displayText(int index, char* buffer, size_t length) const = 0;
    // Text to a normalised value; false when the text does not parse.
    virtual bool parseText(int index, const char* text, float& normalized) const = 0;
};

class CCPageObject;

// What the page manager tells its change queue: an object that leaves the tree must
// not stay bound, or the next change would reach freed memory.
class ObjectBindings {
public:
    virtual void unbindObject(const CCPageObject* object) = 0;

protected:
    ~ObjectBindings() = default;
};

// What controls may ask of the host's preferences, when there are any.
class PreferenceAccess {
public:
    enum class Kind { None, Integer, Float, Other };
    virtual ~PreferenceAccess() = default;
    virtual Kind find(uint16_t id, int32_t& integer, float& real) const = 0;
};
