#include "calc/ports/Keypad.h"

#include "calc/Timing.h"

namespace zoetra::calc {

namespace {

// A key is held down this long, in ClockHz steps.
constexpr std::uint64_t KeyHoldClock = ClockHz / 10;

// Where a pressed key shows on the keypad port: its group's bit in the
// group mask, and its bit in the answer.
struct KeypadBit {
    std::uint8_t group;
    std::uint8_t bit;
};

KeypadBit keypadBit(Key key)
{
    switch (key) {
    case Key::Down:
        return {0, 0};
    case Key::Left:
        return {0, 1};
    case Key::Right:
        return {0, 2};
    case Key::Up:
        return {0, 3};
    case Key::Enter:
        return {1, 0};
    case Key::Clear:
        return {1, 6};
    }
    return {7, 7};
}

struct KeyCodes {
    std::uint8_t scan;  // _GetCSC
    std::uint8_t key;   // _GetKey
};

KeyCodes codes(Key key)
{
    switch (key) {
    case Key::Enter:
        return {0x09, 0x05};
    case Key::Clear:
        return {0x0F, 0x09};
    case Key::Up:
        return {0x04, 0x03};
    case Key::Down:
        return {0x01, 0x04};
    case Key::Left:
        return {0x02, 0x02};
    case Key::Right:
        return {0x03, 0x01};
    }
    return {0, 0};
}

}  // namespace

std::uint8_t scanCode(Key key)
{
    return codes(key).scan;
}

std::uint8_t keyCode(Key key)
{
    return codes(key).key;
}

std::uint8_t Keypad::read(std::uint64_t now) const
{
    std::uint8_t answer = 0xFF;
    if (held_ && now < releasedAt_) {
        const KeypadBit key = keypadBit(*held_);
        if ((groups_ >> key.group & 1) == 0) {
            answer = static_cast<std::uint8_t>(answer & ~(1 << key.bit));
        }
    }
    return answer;
}

void Keypad::press(Key key, std::uint64_t now)
{
    buffered_ = key;
    held_ = key;
    releasedAt_ = now + KeyHoldClock;
}

std::optional<Key> Keypad::take()
{
    const std::optional<Key> key = buffered_;
    buffered_.reset();
    return key;
}

}  // namespace zoetra::calc
