#pragma once
// The typewriter animator: types a text letter by letter, holds it, erases it from the end,
// then stops (status banner) or pauses and goes on with the next phrase (surprise window).
//
// State: one TypewriterState per user, never reset; a step is pure arithmetic on it and gives
// the caption to show and the timer's next interval, so the windows only own the timers.
// Invariants after every step: letterCount <= the current text's length (and <= 76 for the
// banner); phraseIndex stays within 1..19; mode is 1 (typing) or 0 (erasing). Steps cannot
// fail.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace palvane {

struct TypewriterState {
    std::uint8_t mode = 1;        // 1 typing, 0 erasing
    std::uint8_t letterCount = 0; // leading letters of the current text shown
    std::uint8_t phraseIndex = 1; // 1..19, surprise window only
    static TypewriterState bannerStart() { return {}; }
    static TypewriterState surpriseStart() { return {}; }
};

inline constexpr int kTypingInterval = 50;
inline constexpr int kErasingInterval = 5;
inline constexpr int kHoldInterval = 2000;
inline constexpr int kPauseInterval = 500;
inline constexpr int kBannerCap = 76;
inline constexpr int kPhraseCount = 19;

// Result of one step: the caption to show and the timer's next interval; stopTimer is set
// when the banner has finished (its interval then stays as it was).
struct TypewriterStep {
    QString caption;
    int nextInterval = kTypingInterval;
    bool stopTimer = false;
};

// The credit line (63 characters), typed by the banner and phrase 1 of the surprise window.
QString creditText();
// The 19 phrases, index 1..19 at positions 0..18.
const QStringList& phrases();

TypewriterStep bannerStep(TypewriterState& state, const QString& text);
TypewriterStep surpriseStep(TypewriterState& state);

} // namespace palvane
