#include "view/comparison_view.h"

#include "qlang/qlang.h"

#include "settings/user_prompts.h"
#include "view/view_session.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace veldrin {

namespace {
// The heading of the time column, as the record list's first column.
constexpr int kTimeColumnHeading = 109;
// The list and buttons beside the chart take no more than this.
constexpr int kPanelWidth = 220;
} // namespace

// ---- The chart side -------------------------------------------------------------------------

CComparisonChartArea::CComparisonChartArea(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void CComparisonChartArea::setImage(const QImage& image) {
    image_ = image;
    update();
}

// Only the pixels of the readout shown and of the one to show are painted again.
void CComparisonChartArea::setReadout(chart::ComparisonReadout readout) {
    if (readout == readout_) {
        return;
    }
    update(readout_.touched + readout.touched);
    readout_ = std::move(readout);
}

void CComparisonChartArea::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), chart::kBackground);
        return;
    }
    painter.drawImage(0, 0, image_);
    chart::drawComparisonReadout(painter, readout_);
}

void CComparisonChartArea::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT hovered(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void CComparisonChartArea::leaveEvent(QEvent* event) {
    Q_EMIT hovered(std::nullopt);
    QWidget::leaveEvent(event);
}

void CComparisonChartArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Q_EMIT resized();
}

// ---- The comparison -------------------------------------------------------------------------

CComparisonView::CComparisonView(const std::string& dataFolder, CUserPrompts& prompts,
                                 QWidget* parent)
    : QWidget(parent), prompts_(prompts), loader_(dataFolder) {
    auto* panel = new QWidget(this);
    panel->setMaximumWidth(kPanelWidth);
    auto* side = new QVBoxLayout(panel);
    side->setContentsMargins(0, 0, 0, 0);
    title_ = new QLabel(panel);
    title_->setTextFormat(Qt::PlainText);
    list_ = new QListWidget(panel);
    quantity_ = new QComboBox(panel);
    quantity_->addItem(QString());
    quantity_->addItem(QString());
    back_ = new QPushButton(panel);
    loading_ = new QLabel(panel);
    loading_->setTextFormat(Qt::PlainText);
    loading_->hide();
    side->addWidget(title_);
    side->addWidget(list_, 1);
    side->addWidget(quantity_);
    side->addWidget(back_);
    side->addWidget(loading_);
    area_ = new CComparisonChartArea(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    layout->addWidget(area_, 1);

    connect(list_, &QListWidget::itemChanged, this, &CComparisonView::itemChanged);
    connect(quantity_, &QComboBox::activated, this, &CComparisonView::redraw);
    connect(back_, &QPushButton::clicked, this, &CComparisonView::leaveRequested);
    connect(&loader_, &ComparisonLoader::loaded, this, &CComparisonView::loaded);
    connect(area_, &CComparisonChartArea::resized, this, &CComparisonView::redraw);
    connect(area_, &CComparisonChartArea::hovered, this, &CComparisonView::hover);
    applyLanguage();
}

void CComparisonView::applyLanguage() {
    title_->setText(qlang(text::kComparedRecorders));
    quantity_->setItemText(0, qlang(text::kTemperature));
    quantity_->setItemText(1, qlang(text::kHumidity));
    back_->setText(qlang(text::kBackToChart));
    loading_->setText(qlangFormatted(text::kLoading));
    {
        const QSignalBlocker block(list_);
        for (int i = 0; i < list_->count(); ++i) {
            list_->item(i)->setText(nameOf(list_->item(i)->data(Qt::UserRole).toInt()));
        }
    }
    redraw();
}

QString CComparisonView::nameOf(int32_t number) const {
    QString name = qlangFormatted(text::kRecorderNumbered, {number});
    const auto found = loaded_.find(number);
    if (found != loaded_.end() && !found->second.settings.description.empty()) {
        name += qpunctuation(QLatin1Char(':')) + qstr(found->second.settings.description);
    }
    return name;
}

// Recorders registered meanwhile are added; the list is otherwise kept as the user left it.
void CComparisonView::offerRecorders(int32_t count, int32_t displayed) {
    {
        const QSignalBlocker block(list_);
        while (list_->count() > std::max(0, count)) {
            delete list_->takeItem(list_->count() - 1);
            loaded_.erase(list_->count());
        }
        for (int32_t n = list_->count(); n < count; ++n) {
            auto* item = new QListWidgetItem(nameOf(n), list_);
            item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
            item->setData(Qt::UserRole, n);
            item->setCheckState(Qt::Unchecked);
        }
    }
    if (chosen().empty() && displayed >= 0 && displayed < count) {
        choose(displayed, true);
    }
}

bool CComparisonView::choose(int32_t number, bool on) {
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        if (item->data(Qt::UserRole).toInt() == number) {
            item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            return item->checkState() == (on ? Qt::Checked : Qt::Unchecked);
        }
    }
    return false;
}

std::vector<int32_t> CComparisonView::chosen() const {
    std::vector<int32_t> numbers;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->checkState() == Qt::Checked) {
            numbers.push_back(list_->item(i)->data(Qt::UserRole).toInt());
        }
    }
    return numbers;
}

// A ninth recorder is refused: its box is cleared again and the user told why.
void CComparisonView::itemChanged(QListWidgetItem* item) {
    const int32_t number = item->data(Qt::UserRole).toInt();
    if (item->checkState() != Qt::Checked) {
        loaded_.erase(number);
        redraw();
        return;
    }
    if (chosen().size() > kMaxComparedRecorders) {
        {
            const QSignalBlocker block(list_);
            item->setCheckState(Qt::Unchecked);
        }
        prompts_.message(this, qlang(text::kTooManyCompared), PromptIcon::Information);
        return;
    }
    loader_.load(number);
    loading_->show();
}

void CComparisonView::loaded(const LoadedRecorder& result) {
    loading_->setVisible(loader_.pending() > 0);
    const std::vector<int32_t> ticked = chosen();
    if (std::find(ticked.begin(), ticked.end(), result.number) == ticked.end()) {
        return; // no longer wanted
    }
    if (!result.records) {
        choose(result.number, false);
        prompts_.message(this,
                         openFailureMessage(QString::fromStdString(result.path), result.failure),
                         PromptIcon::Warning);
        return;
    }
    loaded_[result.number] = result;
    // The description is known now: the list names the recorder as the legend does.
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->data(Qt::UserRole).toInt() == result.number) {
            const QSignalBlocker block(list_);
            list_->item(i)->setText(nameOf(result.number));
        }
    }
    redraw();
}

bool CComparisonView::ticked(int32_t number) const {
    const std::vector<int32_t> numbers = chosen();
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

void CComparisonView::recorderChanged(int32_t number) {
    if (ticked(number)) {
        loader_.load(number);
    }
}

// The records go without waiting for the file; it is read again all the same, after any read
// already on its way, so that the last word is what the file holds (a chain may have downloaded
// into it meanwhile).
void CComparisonView::recorderCleared(int32_t number) {
    if (!ticked(number)) {
        return;
    }
    const auto found = loaded_.find(number);
    if (found != loaded_.end()) {
        found->second.records = std::make_shared<const RecordList>();
        found->second.order = std::make_shared<const TimeOrder>();
        redraw();
    }
    loader_.load(number);
    loading_->show();
}

bool CComparisonView::complete() const {
    for (const int32_t n : chosen()) {
        if (loaded_.count(n) == 0) {
            return false;
        }
    }
    return true;
}

void CComparisonView::release() {
    loader_.cancelWaiting();
    loaded_.clear();
    const QSignalBlocker block(list_);
    for (int i = 0; i < list_->count(); ++i) {
        list_->item(i)->setCheckState(Qt::Unchecked);
    }
    chart_.letGo();
    image_ = QImage();
    area_->setImage(image_);
    area_->setReadout({});
}

void CComparisonView::setWindow(const DateTime& from, const DateTime& to, bool fahrenheit) {
    if (from == from_ && to == to_ && fahrenheit == fahrenheit_) {
        return;
    }
    from_ = from;
    to_ = to;
    fahrenheit_ = fahrenheit;
    redraw();
}

chart::Curve CComparisonView::quantity() const {
    return quantity_->currentIndex() == 1 ? chart::Curve::humidity : chart::Curve::temperature;
}

void CComparisonView::setQuantity(chart::Curve quantity) {
    quantity_->setCurrentIndex(quantity == chart::Curve::humidity ? 1 : 0);
    redraw();
}

// The curves of the ticked recorders whose records are there, in the order of their numbers.
std::vector<chart::ComparedCurve> CComparisonView::curves() const {
    std::vector<chart::ComparedCurve> out;
    for (const auto& [number, result] : loaded_) {
        out.push_back({nameOf(number).toStdU16String(), result.records, result.order});
    }
    return out;
}

std::vector<ComparedSeries> CComparisonView::series() const {
    std::vector<ComparedSeries> out;
    for (const auto& [number, result] : loaded_) {
        out.push_back({nameOf(number).toStdU16String(), fahrenheit_, result.records.get()});
    }
    return out;
}

QStringList CComparisonView::legendNames() const {
    QStringList names;
    for (const chart::ComparedCurve& c : curves()) {
        names << qstr(c.label);
    }
    return names;
}

void CComparisonView::redraw() {
    chart::ComparisonInput input;
    input.start = from_.value;
    input.end = to_.value;
    input.fahrenheit = fahrenheit_;
    input.quantity = quantity();
    input.size = area_->size();
    input.font = chart::chartFont(logicalDpiY());
    input.decimalSign = qdecimalSign().unicode();
    image_ = chart_.render(curves(), input);
    area_->setImage(image_);
    showReadout();
}

void CComparisonView::hover(std::optional<QPoint> cursor) {
    cursor_ = cursor;
    showReadout();
}

// Laid out here, on the mouse's move or a new image, never in a paint.
void CComparisonView::showReadout() {
    area_->setReadout(cursor_ ? chart_.readoutAt(*cursor_) : chart::ComparisonReadout{});
}

bool CComparisonView::writeCsv(const std::string& path, std::string& error) const {
    const ComparedQuantity q = quantity() == chart::Curve::humidity ? ComparedQuantity::humidity
                                                                    : ComparedQuantity::temperature;
    return writeComparisonCsvFile(path, series(), q, from_, to_,
                                  qlang(kTimeColumnHeading).toStdU16String(), error);
}

} // namespace veldrin
