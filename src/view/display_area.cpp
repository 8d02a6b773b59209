#include "view/display_area.h"

#include <QPalette>
#include <QStackedLayout>

namespace veldrin {

namespace {

QWidget* makeBlankChart(QWidget* parent) {
    auto* blank = new QWidget(parent);
    QPalette palette = blank->palette();
    palette.setColor(QPalette::Window, chartBackgroundColour());
    blank->setPalette(palette);
    blank->setAutoFillBackground(true);
    return blank;
}

} // namespace

DisplayArea::DisplayArea(QWidget* list, QWidget* parent)
    : QWidget(parent), stack_(new QStackedLayout(this)), blank_(makeBlankChart(this)), list_(list) {
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(blank_);
    stack_->addWidget(list_);
    stack_->setCurrentWidget(blank_);
}

void DisplayArea::setChartWidget(QWidget* chart) {
    const bool list = showsList();
    if (chart_ != nullptr) {
        stack_->removeWidget(chart_);
        chart_->deleteLater();
    }
    chart_ = chart;
    if (chart_ != nullptr) {
        stack_->addWidget(chart_);
    }
    showList(list);
}

void DisplayArea::showList(bool list) {
    if (list) {
        stack_->setCurrentWidget(list_);
    } else {
        stack_->setCurrentWidget(chart_ != nullptr ? chart_ : blank_);
    }
}

void DisplayArea::showPage(QWidget* page) {
    if (stack_->indexOf(page) < 0) {
        stack_->addWidget(page);
    }
    stack_->setCurrentWidget(page);
}

bool DisplayArea::showsPage(const QWidget* page) const {
    return page != nullptr && stack_->currentWidget() == page;
}

bool DisplayArea::showsList() const {
    return stack_->currentWidget() == list_;
}

} // namespace veldrin
