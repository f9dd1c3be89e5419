#include "support/ScreenSequences.h"

#include "shared/Types.h"

#include <algorithm>

namespace zoetra::test {

namespace {

int uniform(std::mt19937& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

std::uint8_t randomByte(std::mt19937& random)
{
    return static_cast<std::uint8_t>(uniform(random, 0, 255));
}

ScreenBytes nextScreen(std::mt19937& random, const ScreenBytes& previous)
{
    ScreenBytes next = previous;
    switch (uniform(random, 0, 9)) {
    case 0:  // nothing changes
        break;
    case 1:  // noise
        for (auto& b : next) {
            b = randomByte(random);
        }
        break;
    case 2:  // inverted
        for (auto& b : next) {
            b = static_cast<std::uint8_t>(~b);
        }
        break;
    case 3: {  // a few bytes
        const int count = uniform(random, 1, 12);
        for (int i = 0; i < count; ++i) {
            next[static_cast<std::size_t>(uniform(random, 0, 767))] = randomByte(random);
        }
        // the first and the last byte now and then
        if (uniform(random, 0, 3) == 0) {
            next[0] = randomByte(random);
            next[767] = randomByte(random);
        }
        break;
    }
    case 4: {  // the picture moves by whole bytes or rows, either way
        static constexpr int shifts[] = {1, -1, 2, -2, 12, -12, 13, -11, 24, -36, 100, -300};
        const int shift = shifts[uniform(random, 0, 11)];
        for (int i = 0; i < 768; ++i) {
            const int source = i - shift;
            next[static_cast<std::size_t>(i)] =
                source >= 0 && source < 768 ? previous[static_cast<std::size_t>(source)] : randomByte(random);
        }
        break;
    }
    case 5: {  // blocks of the frame before, swapped around
        for (int i = 0; i < 768; i += 8) {
            const int source = uniform(random, 0, 95) * 8;
            std::copy_n(previous.begin() + source, 8, next.begin() + i);
        }
        break;
    }
    case 6: {  // a solid or patterned rectangle
        const int x0 = uniform(random, 0, 11);
        const int x1 = uniform(random, x0, 11);
        const int y0 = uniform(random, 0, 63);
        const int y1 = uniform(random, y0, 63);
        const std::uint8_t even = randomByte(random);
        const std::uint8_t odd = uniform(random, 0, 1) != 0 ? even : randomByte(random);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                next[static_cast<std::size_t>(y * 12 + x)] = y % 2 == 0 ? even : odd;
            }
        }
        break;
    }
    case 7: {  // single bytes changed all over: a keep and a literal by turns
        for (int i = uniform(random, 0, 1); i < 768; i += 2) {
            next[static_cast<std::size_t>(i)] ^= static_cast<std::uint8_t>(uniform(random, 1, 255));
        }
        break;
    }
    case 8: {  // runs of changes with gaps
        int i = uniform(random, 0, 20);
        while (i < 768) {
            const int run = uniform(random, 1, 40);
            for (int k = i; k < std::min(768, i + run); ++k) {
                next[static_cast<std::size_t>(k)] = randomByte(random);
            }
            i += run + uniform(random, 1, 60);
        }
        break;
    }
    default: {  // all white or all black, and a pattern of small periods
        const std::uint8_t fill = uniform(random, 0, 1) != 0 ? 0xFF : 0x00;
        next.fill(fill);
        const int period = uniform(random, 1, 5);
        for (int i = uniform(random, 0, 700); i < 768; i += period) {
            next[static_cast<std::size_t>(i)] = 0xAA;
        }
        break;
    }
    }
    return next;
}

}  // namespace

std::vector<ScreenBytes> randomScreenSequence(std::mt19937& random, int frames)
{
    std::vector<ScreenBytes> screens;
    ScreenBytes first{};
    // Key frames of every kind: noise, blank, or built like a later frame.
    switch (uniform(random, 0, 2)) {
    case 0:
        for (auto& b : first) {
            b = randomByte(random);
        }
        break;
    case 1:
        break;
    default:
        first = nextScreen(random, first);
        break;
    }
    screens.push_back(first);
    while (static_cast<int>(screens.size()) < frames) {
        screens.push_back(nextScreen(random, screens.back()));
    }
    return screens;
}

std::vector<ScreenBytes> screensOfBytes(std::mt19937& random, int frames, std::span<const std::uint8_t> bytes,
                                        std::uint8_t other)
{
    std::vector<ScreenBytes> screens(static_cast<std::size_t>(frames));
    for (ScreenBytes& screen : screens) {
        for (auto& byte : screen) {
            const auto k = static_cast<std::size_t>(uniform(random, 0, static_cast<int>(bytes.size())));
            byte = k < bytes.size() ? bytes[k] : other;
        }
    }
    return screens;
}

}  // namespace zoetra::test
