#pragma once

#include <QString>

#include <array>
#include <optional>

namespace zoetra {

// How the pixels between the two thresholds are rendered when "Dither" is
// on. The checkerboard is the written one and the default.
enum class Pattern {
    Checkerboard,  // a fixed 50 % checkerboard, whatever the grey
    Bayer2,        // ordered dither, 2 x 2 Bayer map
    Bayer4,        // ordered dither, 4 x 4 Bayer map
    Bayer8,        // ordered dither, 8 x 8 Bayer map
    BlueNoise,     // ordered dither, 64 x 64 blue-noise map made by void and cluster
    Diffusion,     // Floyd-Steinberg error diffusion, serpentine
    Atkinson,      // Atkinson error diffusion, serpentine
    Search,        // flat areas in three tones, the rest by a direct binary search
                   // against the picture as the eye sees it (slower)
};

struct PatternName {
    Pattern pattern;
    const char* option;   // the headless option's value
    const char* caption;  // the window's choice
};

// In the order the window lists them.
inline constexpr std::array<PatternName, 8> PatternNames = {{
    {Pattern::Checkerboard, "checkerboard", "Checkerboard"},
    {Pattern::Bayer2, "bayer2", "Bayer 2\xC3\x97" "2"},
    {Pattern::Bayer4, "bayer4", "Bayer 4\xC3\x97" "4"},
    {Pattern::Bayer8, "bayer8", "Bayer 8\xC3\x97" "8"},
    {Pattern::BlueNoise, "bluenoise", "Blue noise"},
    {Pattern::Diffusion, "diffusion", "Floyd-Steinberg"},
    {Pattern::Atkinson, "atkinson", "Atkinson"},
    {Pattern::Search, "search", "Search (slower)"},
}};

inline const char* patternOption(Pattern pattern)
{
    for (const PatternName& name : PatternNames) {
        if (name.pattern == pattern) {
            return name.option;
        }
    }
    return PatternNames[0].option;
}

inline std::optional<Pattern> patternFromOption(const QString& text)
{
    for (const PatternName& name : PatternNames) {
        if (text.compare(QLatin1String(name.option), Qt::CaseInsensitive) == 0) {
            return name.pattern;
        }
    }
    return std::nullopt;
}

// The tone and the pattern of the reduction, beside the written colour
// settings. The defaults leave the written reduction as it is.
struct PictureSettings {
    Pattern pattern = Pattern::Checkerboard;
    // Applied to every channel value v as 255 * (v / 255)^(1 / gamma) before
    // the thresholds: above 1 lightens the middle tones.
    double gamma = 1.0;
    // Moves the two thresholds with the brightness of each frame, smoothed
    // over the frames of a run.
    bool autoExposure = false;

    static constexpr double MinGamma = 0.25;
    static constexpr double MaxGamma = 4.0;

    bool written() const { return pattern == Pattern::Checkerboard && gamma == 1.0 && !autoExposure; }
    bool operator==(const PictureSettings&) const = default;
};

}  // namespace zoetra
