#include "widgets/accessible_states.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace palvane {

namespace {

// ---- Tabs -----------------------------------------------------------------------------------

class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return QString();
        if (t == QAccessible::Name) {
            QString caption = bar_->tabText(index_);
            return caption.remove(QLatin1Char('&'));
        }
        if (t == QAccessible::Description)
            return bar_->tabToolTip(index_);
        return QString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid())
            return QRect();
        const QRect tab = bar_->tabRect(index_);
        return QRect(bar_->mapToGlobal(tab.topLeft()), tab.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid())
            return state;
        state.focusable = true;
        state.selectable = true;
        state.selected = index_ == bar_->currentIndex();
        state.focused = state.selected && bar_->hasFocus();
        state.disabled = !bar_->isEnabled() || !bar_->isTabEnabled(index_);
        state.invisible = !bar_->isVisible() || !bar_->isTabVisible(index_);
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid() && bar_->isTabEnabled(index_))
            bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> bar_;
    int index_;
};

class TabBarAccessible : public QAccessibleWidget {
public:
    explicit TabBarAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {
        // Screen readers that keep what they were told hear of the change of tab.
        QObject::connect(bar, &QTabBar::currentChanged, bar,
                         [bar, previous = bar->currentIndex()](int current) mutable {
                             if (!QAccessible::isActive())
                                 return;
                             QAccessible::State selected;
                             selected.selected = true;
                             for (int index : {previous, current}) {
                                 if (index < 0)
                                     continue;
                                 QAccessibleStateChangeEvent changed(bar, selected);
                                 changed.setChild(index);
                                 QAccessible::updateAccessibility(&changed);
                             }
                             previous = current;
                         });
    }
    ~TabBarAccessible() override {
        for (QAccessible::Id id : ids_)
            QAccessible::deleteAccessibleInterface(id);
    }

    QString text(QAccessible::Text t) const override {
        QString value = QAccessibleWidget::text(t);
        // Named as the pages it switches, when it has no name of its own.
        if (t == QAccessible::Name && value.isEmpty() && bar()->parentWidget())
            value = bar()->parentWidget()->accessibleName();
        if (t == QAccessible::Name && value.isEmpty())
            value = bar()->tabText(bar()->currentIndex()).remove(QLatin1Char('&'));
        return value;
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        while (int(ids_.size()) <= index) {
            auto* tab = new TabAccessible(bar(), int(ids_.size()));
            ids_.push_back(QAccessible::registerAccessibleInterface(tab));
        }
        return QAccessible::accessibleInterface(ids_[size_t(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (size_t i = 0; i < ids_.size(); ++i)
            if (QAccessible::accessibleInterface(ids_[i]) == child)
                return int(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const int index = bar()->tabAt(bar()->mapFromGlobal(QPoint(x, y)));
        return index >= 0 ? child(index) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }

    mutable std::vector<QAccessible::Id> ids_;
};

QAccessibleInterface* tabBarFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QTabBar") && object && object->isWidgetType())
        return new TabBarAccessible(static_cast<QTabBar*>(object));
    return nullptr;
}

// ---- Read-only line edits ---------------------------------------------------------------------

class ReadOnlyLineAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
    // The gap a line edit leaves between its contents' edge and the text.
    static constexpr int kTextMargin = 2;

public:
    explicit ReadOnlyLineAccessible(QLineEdit* edit)
        : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.editable = false;
        state.focusable = edit()->focusPolicy() != Qt::NoFocus;
        return state;
    }

    QString text(QAccessible::Text t) const override {
        // The name says what the box is; the value is its text (read through the text).
        if (t == QAccessible::Value)
            return edit()->text();
        return QAccessibleWidget::text(t);
    }

    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (index == 0 && edit()->hasSelectedText()) {
            *startOffset = edit()->selectionStart();
            *endOffset = *startOffset + int(edit()->selectedText().size());
        }
    }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int) override { edit()->deselect(); }
    void setSelection(int, int startOffset, int endOffset) override {
        edit()->setSelection(startOffset, endOffset - startOffset);
    }
    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int position) override { edit()->setCursorPosition(position); }
    QString text(int startOffset, int endOffset) const override {
        const QString all = edit()->text();
        const int start = std::clamp(startOffset, 0, int(all.size()));
        const int end =
            endOffset < 0 ? int(all.size()) : std::clamp(endOffset, start, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(edit()->text().size()); }
    QRect characterRect(int offset) const override {
        const QString all = edit()->text();
        if (offset < 0 || offset >= all.size())
            return QRect();
        // The boxes show their text from its start (the program puts the cursor there).
        QStyleOptionFrame option;
        option.initFrom(edit());
        option.rect = edit()->contentsRect();
        option.lineWidth =
            edit()->hasFrame() ? edit()->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
        const QRect contents = edit()
                                   ->style()
                                   ->subElementRect(QStyle::SE_LineEditContents, &option, edit())
                                   .marginsRemoved(edit()->textMargins());
        const QFontMetrics metrics(edit()->font());
        const QRect glyph(contents.left() + kTextMargin +
                              metrics.horizontalAdvance(all.left(offset)),
                          contents.center().y() - metrics.height() / 2,
                          metrics.horizontalAdvance(all.at(offset)), metrics.height());
        return QRect(edit()->mapToGlobal(glyph.topLeft()), glyph.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int) override { edit()->setCursorPosition(startIndex); }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return QString();
    }

private:
    QLineEdit* edit() const { return static_cast<QLineEdit*>(widget()); }
};

} // namespace

void installTabBarAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(tabBarFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QAccessibleInterface* readOnlyLineAccessible(QLineEdit* edit) {
    return new ReadOnlyLineAccessible(edit);
}

} // namespace palvane
