#pragma once
// The comparison of several recorders, shown in the display area in place of the chart: a list
// of the registered recorders to tick (at most eight), the quantity, a button back to the chart,
// and the chart of the ticked recorders' curves over the window chosen in the form. The records
// of each recorder are read from its data file off the window thread (comparison_loader.h) and
// drawn once they are there; a paint only paints the image made when something changed and the
// readout under the mouse, laid out when the mouse moved or the image changed.

#include "chart/comparison_chart.h"
#include "export/comparison_csv.h"
#include "view/comparison_loader.h"

#include <QImage>
#include <QWidget>

#include <map>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace veldrin {

class CUserPrompts;

// The chart side of the comparison: paints the image and the readout it was given, and says where
// the mouse is.
class CComparisonChartArea : public QWidget {
    Q_OBJECT
public:
    explicit CComparisonChartArea(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    void setReadout(chart::ComparisonReadout readout);
    const chart::ComparisonReadout& readout() const { return readout_; }

Q_SIGNALS:
    void resized();
    // The mouse over the area, or gone (none).
    void hovered(std::optional<QPoint> cursor);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage image_;
    chart::ComparisonReadout readout_;
};

class CComparisonView : public QWidget {
    Q_OBJECT
public:
    CComparisonView(const std::string& dataFolder, CUserPrompts& prompts,
                    QWidget* parent = nullptr);

    // The registered recorders 0 .. count-1 offered in the list; `displayed` is ticked when
    // nothing is ticked yet.
    void offerRecorders(int32_t count, int32_t displayed);
    // Ticks or unticks a recorder as the user would; false when a ninth is refused.
    bool choose(int32_t number, bool chosen);
    std::vector<int32_t> chosen() const;
    // The window chosen in the form and the unit of the recorder displayed there.
    void setWindow(const DateTime& from, const DateTime& to, bool fahrenheit);
    chart::Curve quantity() const;
    void setQuantity(chart::Curve quantity);
    // The records of every ticked recorder are there.
    bool complete() const;
    // Leaves the comparison: the records read are let go.
    void release();
    // The texts of the language chosen now.
    void applyLanguage();
    // The recorder's file changed (a download was saved): read again when it is ticked.
    void recorderChanged(int32_t number);
    // Clear PC Data emptied the recorder's file: when it is ticked its curve goes at once.
    void recorderCleared(int32_t number);

    // The chart as shown, and the same as one CSV file (a column per recorder).
    QImage image() const { return image_; }
    bool writeCsv(const std::string& path, std::string& error) const;
    // The legend's names, in the order of the curves.
    QStringList legendNames() const;
    chart::ComparisonChart& chart() { return chart_; }
    CComparisonChartArea& chartArea() { return *area_; }

Q_SIGNALS:
    void leaveRequested();

private:
    void itemChanged(QListWidgetItem* item);
    void loaded(const LoadedRecorder& result);
    void redraw();
    void hover(std::optional<QPoint> cursor);
    void showReadout();
    bool ticked(int32_t number) const;
    std::vector<chart::ComparedCurve> curves() const;
    std::vector<ComparedSeries> series() const;
    QString nameOf(int32_t number) const;

    CUserPrompts& prompts_;
    ComparisonLoader loader_;
    QLabel* title_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* back_ = nullptr;
    QComboBox* quantity_ = nullptr;
    QLabel* loading_ = nullptr;
    CComparisonChartArea* area_ = nullptr;
    chart::ComparisonChart chart_;
    QImage image_;
    DateTime from_;
    DateTime to_;
    bool fahrenheit_ = false;
    std::optional<QPoint> cursor_; // over the chart
    // What was read of each ticked recorder.
    std::map<int32_t, LoadedRecorder> loaded_;
};

} // namespace veldrin
