#include "settings/fitting_layout.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <map>
#include <utility>

namespace veldrin {

namespace {

int comboWidth(const QComboBox& combo) {
    const QFontMetrics metrics = combo.fontMetrics();
    int widest = 0;
    for (int i = 0; i < combo.count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(combo.itemText(i)));
    }
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = combo.isEditable();
    return combo.style()
        ->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, metrics.height()), &combo)
        .width();
}

bool verticallyOverlap(const QRect& a, const QRect& b) {
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

} // namespace

int neededTextWidth(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        // A wrapping label grows downwards, not sideways.
        return label->wordWrap() || label->text().isEmpty() ? 0 : label->sizeHint().width();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        // A button that shows one of several texts has been given the widest one's width.
        return std::max(button->text().isEmpty() ? 0 : button->sizeHint().width(),
                        button->minimumWidth());
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        return combo->count() == 0 ? 0 : comboWidth(*combo);
    }
    return 0;
}

void FittingLayout::addItem(QWidget* widget, const QRect& base, bool frame) {
    items_.push_back(Item{widget, base, frame});
}

QSize FittingLayout::apply() const {
    const std::size_t n = items_.size();
    std::vector<int> width(n, 0);
    // Controls of one template column (same left edge and width) take the widest one's need.
    std::map<std::pair<int, int>, int> columnWidth;
    for (std::size_t i = 0; i < n; ++i) {
        const Item& item = items_[i];
        width[i] = item.base.width();
        if (!item.frame && item.widget) {
            width[i] = std::max(width[i], neededTextWidth(*item.widget));
        }
        int& column = columnWidth[{item.base.left(), item.base.width()}];
        column = std::max(column, width[i]);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!items_[i].frame) {
            width[i] = columnWidth[{items_[i].base.left(), items_[i].base.width()}];
        }
    }

    // Left to right: a control moves by as much as anything before it in its band moved and
    // grew; the controls of one column move together (which may push their bands once more).
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return items_[a].base.left() < items_[b].base.left();
    });
    std::vector<int> shift(n, 0);
    for (std::size_t pass = 0; pass < n; ++pass) {
        const std::vector<int> previous = shift;
        std::map<std::pair<int, int>, int> columnShift;
        for (const std::size_t i : order) {
            if (items_[i].frame) {
                continue;
            }
            const QRect& base = items_[i].base;
            for (const std::size_t j : order) {
                const QRect& before = items_[j].base;
                if (j != i && !items_[j].frame && before.right() < base.left() &&
                    verticallyOverlap(before, base)) {
                    shift[i] = std::max(shift[i], shift[j] + width[j] - before.width());
                }
            }
            int& column = columnShift[{base.left(), base.width()}];
            column = std::max(column, shift[i]);
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (!items_[i].frame) {
                shift[i] = columnShift[{items_[i].base.left(), items_[i].base.width()}];
            }
        }
        if (shift == previous) {
            break;
        }
    }
    // A frame widens by as much as the controls inside it reach further right.
    for (std::size_t i = 0; i < n; ++i) {
        if (!items_[i].frame) {
            continue;
        }
        int grow = 0;
        for (std::size_t j = 0; j < n; ++j) {
            if (!items_[j].frame && items_[i].base.contains(items_[j].base)) {
                grow = std::max(grow, shift[j] + width[j] - items_[j].base.width());
            }
        }
        width[i] += grow;
    }

    int baseRight = 0;
    int newRight = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Item& item = items_[i];
        baseRight = std::max(baseRight, item.base.left() + item.base.width());
        newRight = std::max(newRight, item.base.left() + shift[i] + width[i]);
        if (item.widget) {
            item.widget->setGeometry(item.base.left() + shift[i], item.base.top(), width[i],
                                     item.base.height());
        }
    }
    return QSize(std::max(0, newRight - baseRight), 0);
}

void FittingLayout::setReadingTabOrder() const {
    std::vector<const Item*> focusable;
    for (const Item& item : items_) {
        if (!item.frame && item.widget && (item.widget->focusPolicy() & Qt::TabFocus) != 0) {
            focusable.push_back(&item);
        }
    }
    std::stable_sort(focusable.begin(), focusable.end(), [](const Item* a, const Item* b) {
        return std::pair(a->base.top(), a->base.left()) < std::pair(b->base.top(), b->base.left());
    });
    for (std::size_t i = 1; i < focusable.size(); ++i) {
        QWidget::setTabOrder(focusable[i - 1]->widget, focusable[i]->widget);
    }
}

} // namespace veldrin
