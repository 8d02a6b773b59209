#pragma once
// The area below the main view's band of controls. It shows the chart or the record list; until a
// chart widget is put in, the chart side is an empty area in the chart's background colour.

#include <QColor>
#include <QWidget>

class QStackedLayout;

namespace veldrin {

// Background of the chart surface.
inline QColor chartBackgroundColour() {
    return QColor(216, 212, 204);
}

class DisplayArea : public QWidget {
    Q_OBJECT
public:
    DisplayArea(QWidget* list, QWidget* parent);

    // Replaces the chart side by `chart` (owned from now on); null brings back the empty area.
    void setChartWidget(QWidget* chart);
    QWidget* chartWidget() const { return chart_; }
    void showList(bool list);
    bool showsList() const;
    // Shows `page` (owned from now on) in place of the chart and the list, until showList().
    void showPage(QWidget* page);
    bool showsPage(const QWidget* page) const;

private:
    QStackedLayout* stack_;
    QWidget* blank_;
    QWidget* chart_ = nullptr;
    QWidget* list_;
};

} // namespace veldrin
