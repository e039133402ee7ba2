#include "side_windows/tf_surprise.h"

#include "widgets/error_report.h"
#include "widgets/panel.h"

#include <QFont>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Client size: the designed outer size of 573 by 67 less a sizeable frame with a caption bar.
constexpr int kClientWidth = 565;
constexpr int kClientHeight = 40;

} // namespace

Tf_surprise::Tf_surprise(QWidget* parent) : palvane::SideWindow(parent) {
    setObjectName(QStringLiteral("f_surprise"));
    setWindowTitle(QStringLiteral("*meow*"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    resize(kClientWidth, kClientHeight);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    Panel1 = new palvane::Panel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setBevels(palvane::Panel::Bevel::Raised, palvane::Panel::Bevel::None);
    Panel1->setAccessibleName(QStringLiteral("Joke phrases"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(false);
    // The 5 ms erasing steps would drift under a coarse timer.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(palvane::kTypingInterval);

    connectHandlers();
}

void Tf_surprise::connectHandlers() {
    connect(Timer1, &QTimer::timeout, this, palvane::handler(this, &Tf_surprise::Timer1Timer));
}

void Tf_surprise::FormShow() {
    // Enable first, then set the typing interval: if the interval changes, setting it restarts
    // the timer, so either way the first tick comes 50 ms after opening.
    Timer1->start();
    setIntervalIfChanged(palvane::kTypingInterval);
}

void Tf_surprise::FormClose() {
    Timer1->stop();
}

void Tf_surprise::Timer1Timer() {
    const palvane::TypewriterStep step = palvane::surpriseStep(state_);
    Panel1->setCaption(step.caption);
    setIntervalIfChanged(step.nextInterval);
}

void Tf_surprise::setIntervalIfChanged(int milliseconds) {
    // Assigning an interval to a running timer restarts it; the same value must not.
    if (Timer1->interval() != milliseconds)
        Timer1->setInterval(milliseconds);
}
