#include "side_windows/typewriter.h"

#include <algorithm>

namespace palvane {
namespace {

// The letter count is one byte wide; no text may ask for more letters than it can count.
constexpr int kMaxLetters = 255;

// Advances the state by one tick over a text of `length` letters and stores the next interval
// in step. Returns true when erasing has found the text already empty: the round is over and
// the caller decides what comes next.
bool advance(TypewriterState& state, int length, TypewriterStep& step) {
    length = std::min(length, kMaxLetters);
    if (state.mode != 0) {
        if (state.letterCount < length) {
            ++state.letterCount;
            step.nextInterval = kTypingInterval;
        } else {
            state.mode = 0;
            step.nextInterval = kHoldInterval;
        }
        return false;
    }
    if (state.letterCount > 0) {
        --state.letterCount;
        step.nextInterval = kErasingInterval;
        return false;
    }
    return true;
}

} // namespace

QString creditText() {
    return QStringLiteral("Palvane 32 v1.3: an address book for the people you meet on IRC");
}

const QStringList& phrases() {
    static const QStringList table{
        creditText(),
        QStringLiteral("Your chicken is your best friend, never forget this."),
        QStringLiteral("After careful consideration we are going to award custody of the chicken "
                       "to Mr Butcher."),
        QStringLiteral("I don't like the way you treat your chicken."),
        QStringLiteral("Are we there yet? Shut the smeg up!"),
        QStringLiteral("School of Meow, rule 1: To meow effectivly, one must become one with the "
                       "cat"),
        QStringLiteral("opps"),
        QStringLiteral("you must be really bored to have read this far... :-)"),
        QStringLiteral("either that or don't have a life.."),
        QStringLiteral("don't forget to wash the kitten in some bubble bath"),
        QStringLiteral("The funnier the quote the more one laughs, I think!"),
        QStringLiteral("Always hold your chicken in the up right position"),
        QStringLiteral("Never sound a frequency of 7Hz in proximity of a chicken"),
        QStringLiteral("Chickens are friendly, cute, adorable and delicious"),
        QStringLiteral("Cats Meow, Dogs Bark, Chickens Chook"),
        QStringLiteral("School of Meow, rule 9: Cats eat living creatures smaller than "
                       "themselves. Watch your mouse"),
        QStringLiteral("The programmer is a rare thing, constantly being hunted by the leathel "
                       "cat"),
        QStringLiteral("I have a problem, can you help me?"),
        QStringLiteral("A chicken doesn't say much when it't decapitated"),
    };
    return table;
}

TypewriterStep bannerStep(TypewriterState& state, const QString& text) {
    TypewriterStep step;
    if (advance(state, std::min<int>(text.size(), kBannerCap), step)) {
        // The banner runs once: the caller switches its timer off and leaves the interval.
        state.mode = 1;
        step.nextInterval = kErasingInterval;
        step.stopTimer = true;
    }
    step.caption = text.left(state.letterCount);
    return step;
}

TypewriterStep surpriseStep(TypewriterState& state) {
    const QStringList& table = phrases();
    // A state from outside the table starts over at the first phrase rather than read past it.
    if (state.phraseIndex < 1 || state.phraseIndex > kPhraseCount)
        state.phraseIndex = 1;
    TypewriterStep step;
    if (advance(state, int(table[state.phraseIndex - 1].size()), step)) {
        state.phraseIndex = state.phraseIndex < kPhraseCount ? state.phraseIndex + 1 : 1;
        state.mode = 1;
        step.nextInterval = kPauseInterval;
    }
    step.caption = table[state.phraseIndex - 1].left(state.letterCount);
    return step;
}

} // namespace palvane
