#pragma once

#include <cstdint>

class CCPageObject;

// Message codes. 257 to 267 are mouse and key messages; from 513 on the
// framework's own notifications.
enum : uint16_t {
    MSG_LBUTTON_DOWN = 257,
    MSG_LBUTTON_UP = 258,
    MSG_RBUTTON_DOWN = 259,
    MSG_RBUTTON_UP = 260,
    MSG_MOUSE_MOVE = 261,
    MSG_MOUSE_WHEEL = 262,
    MSG_KEY_DOWN = 263,
    MSG_LBUTTON_DOUBLE = 264,
    MSG_RBUTTON_DOUBLE = 265,
    MSG_KEY_UP = 266,
    MSG_PRESS_PROBE = 267,
    MSG_PARAMETER = 513,
    MSG_VALUE_CHANGED = 514,
    MSG_INVALIDATE = 515,
    MSG_HOVER = 517,
    MSG_TIMER = 518,
    MSG_VALUE_FORWARD = 519,
    MSG_SET_ENABLED = 522,
    MSG_EDIT_DONE = 525,
    MSG_EDIT_CANCEL = 526,
    MSG_ITEM_EDITED = 527,
    MSG_MODAL_CLOSED = 529,
    MSG_SELECT_VIEW = 530,
    MSG_FADE_DONE = 531,
    MSG_ITEM_SELECTED = 533,
    MSG_ITEM_ADDED = 534,
    MSG_ROW_SWITCHED = 536,
    MSG_HELD = 544,
};

// True for the codes carried by CCMouseMsg.
constexpr bool isMouseCode(uint16_t code) {
    return (code >= MSG_LBUTTON_DOWN && code <= MSG_MOUSE_WHEEL) || code == MSG_LBUTTON_DOUBLE ||
           code == MSG_RBUTTON_DOUBLE || code == MSG_PRESS_PROBE;
}

// A message travelling through the page tree: built on the sender's stack, passed
// by pointer, never stored. A receiver may write into it (the press probe is
// claimed by writing the sender).
class CCMsg {
public:
    CCMsg() = default;
    explicit CCMsg(uint16_t msgCode) : code(msgCode) {}
    CCMsg(uint16_t msgCode, int32_t msgFirst) : code(msgCode), first(msgFirst) {}
    CCMsg(uint16_t msgCode, int32_t msgFirst, int32_t msgSecond, float msgValue,
          CCPageObject* msgSender)
        : sender(msgSender), code(msgCode), first(msgFirst), second(msgSecond), value(msgValue) {}
    CCMsg(uint16_t msgCode, int32_t msgFirst, float msgValue, bool msgNotify)
        : code(msgCode), first(msgFirst), value(msgValue), notify(msgNotify) {}
    CCMsg(uint16_t msgCode, int32_t msgFirst, float msgValue, CCPageObject* msgSender)
        : sender(msgSender), code(msgCode), first(msgFirst), value(msgValue) {}
    CCMsg(uint16_t msgCode, CCPageObject* msgSender, bool onlyThis)
        : sender(msgSender), code(msgCode), onlyThisObject(onlyThis) {}
    CCMsg(uint16_t msgCode, void* msgData) : code(msgCode), data(msgData) {}
    CCMsg(uint16_t msgCode, int32_t msgFirst, void* msgData)
        : code(msgCode), first(msgFirst), data(msgData), notify(false) {}
    CCMsg(uint16_t msgCode, int32_t msgFirst, int32_t msgSecond, bool msgNotify)
        : code(msgCode), first(msgFirst), second(msgSecond), notify(msgNotify) {}
    virtual ~CCMsg() { reserved = 0; }

    CCPageObject* sender = nullptr; // a press-probe receiver writes itself here
    uint16_t code = 0;
    int32_t first = 0;
    int32_t second = 0;
    float value = 0.0f;
    void* data = nullptr;
    bool disable = false;
    bool notify = true;
    bool onlyThisObject = false;
    bool toHiddenObjects = false;
    int32_t reserved = 0;
};

// A mouse message: the pointer in client (= page) coordinates and on the screen,
// and the modifier keys. The wheel delta travels in first.
class CCMouseMsg : public CCMsg {
public:
    CCMouseMsg() = default;

    int32_t x = 0;
    int32_t y = 0;
    int32_t reservedPoint[2] = {0, 0};
    int32_t screenX = 0;
    int32_t screenY = 0;
    bool shift = false;
    bool control = false;
};
