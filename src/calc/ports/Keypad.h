#pragma once

#include <cstdint>
#include <optional>

namespace zoetra::calc {

enum class Key { Enter, Clear, Up, Down, Left, Right };

// What _GetCSC reports for a key (skClear ...) and what _GetKey returns
// (kClear ...).
std::uint8_t scanCode(Key key);
std::uint8_t keyCode(Key key);

inline constexpr std::uint8_t ScanClear = 0x0F;
inline constexpr std::uint8_t KeyEnter = 0x05;

// The keypad at port 01h, with the OS's scan of it folded in: a key pressed
// is held down for a tenth of a second, where the program sees it in its
// group, and waits in the OS's buffer until a _GetCSC or _GetKey takes it.
class Keypad {
public:
    // Port 01h written: the groups to read (0 bits).
    void select(std::uint8_t groups) { groups_ = groups; }
    std::uint8_t groups() const { return groups_; }
    // Port 01h read at `now` (ClockHz steps): keys held down read 0 in the
    // groups selected.
    std::uint8_t read(std::uint64_t now) const;

    void press(Key key, std::uint64_t now);
    // The key the OS's scan took and no call has yet, which it gives up.
    std::optional<Key> take();
    bool keyWaiting() const { return buffered_.has_value(); }

private:
    std::uint8_t groups_ = 0xFF;
    std::optional<Key> buffered_;
    std::optional<Key> held_;
    std::uint64_t releasedAt_ = 0;
};

}  // namespace zoetra::calc
