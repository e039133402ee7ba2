#include "main_window/page_look.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProxyStyle>
#include <QTabWidget>

namespace palvane {
namespace {

class PageSizeStyle : public QProxyStyle {
public:
    explicit PageSizeStyle(QSize page) : page_(page) {}

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        const QRect area = QProxyStyle::subElementRect(element, option, widget);
        if (element != SE_TabWidgetTabContents)
            return area;
        const QSize size = area.size().boundedTo(page_);
        return QRect(area.topLeft() + QPoint((area.width() - size.width()) / 2,
                                             (area.height() - size.height()) / 2),
                     size);
    }

private:
    QSize page_;
};

class HintSwallower : public QObject {
public:
    explicit HintSwallower(QWidget* window) : QObject(window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // A hint request goes to the control under the mouse and on to its parents: catching
        // it at any widget of the window catches it for all.
        if (event->type() != QEvent::ToolTip || !watched->isWidgetType() ||
            static_cast<QWidget*>(watched)->window() != window_)
            return false;
        event->accept();
        return true;
    }

private:
    QWidget* window_;
};

} // namespace

void keepPageSize(QTabWidget* tabs, QSize page) {
    // A widget's own style does not pass on to its children: only the tab control's layout of
    // its pages changes.
    auto* style = new PageSizeStyle(page);
    style->setParent(tabs);
    tabs->setStyle(style);
}

void neverShowHints(QWidget* window) {
    QCoreApplication::instance()->installEventFilter(new HintSwallower(window));
}

} // namespace palvane
