#pragma once
// The Setting dialog (resource 130): edits one recorder's configuration (unit, date order,
// circular recording, interval, description and four time slots) and keeps the slots consistent
// while the user edits. It never talks to the recorder; the Setting command writes what it
// returns.
//
// Every reaction lives in a public function that the widgets' signals end in, so that the logic
// runs without a modal loop. Messages raised by a picker change are shown after the picker has
// finished handling its own event (the change is queued), never from inside it.

#include "acquisition/configuration_write.h"
#include "core/clock.h"
#include "core/recorder_types.h"
#include "settings/user_prompts.h"

#include <QDateTime>
#include <QDialog>

#include <array>
#include <map>
#include <memory>

class QButtonGroup;
class QDateTimeEdit;
class QLineEdit;
class QPushButton;

namespace veldrin {

class FittingLayout;

namespace settings_ids {
constexpr int kDialog = 130;
constexpr int kUnitLabel = 1041;
constexpr int kCelsius = 1003;
constexpr int kFahrenheit = 1004;
constexpr int kDateOrderLabel = 1023;
constexpr int kMonthDay = 1020;
constexpr int kDayMonth = 1022;
constexpr int kNumberLabel = 1043;
constexpr int kNumber = 1018;
constexpr int kVersionLabel = 1024;
constexpr int kVersion = 1047;
constexpr int kIntervalLabel = 1010;
constexpr int kInterval = 1011;
constexpr int kDescriptionLabel = 1042;
constexpr int kDescription = 1021;
constexpr int kStatusLabel = 1019;
constexpr int kNoCirculation = 1050;
constexpr int kCirculation = 1052;
constexpr int kStartLabel = 1044;
constexpr int kEndLabel = 1045;
// Pickers of row k: start date kStartDate + k, start time kStartTime + k, end date kEndDate + k,
// end time kEndTime + k.
constexpr int kStartDate = 1025;
constexpr int kEndDate = 1029;
constexpr int kStartTime = 1033;
constexpr int kEndTime = 1037;
constexpr int kFirstPicker = kStartDate;
constexpr int kLastPicker = kEndTime + kSlotCount - 1;
constexpr std::array<int, kSlotCount> kRowSwitch = {1006, 1009, 1013, 1017};
constexpr int kOk = 1;
constexpr int kCancel = 2;
} // namespace settings_ids

class CSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // `settings` is the copy of the connected recorder's settings; `clock` gives "now" for the
    // check against past slot times.
    CSettingsDialog(const RecorderSettings& settings, Clock& clock, CUserPrompts& prompts,
                    QWidget* parent = nullptr);
    ~CSettingsDialog() override;

    // ---- Reactions (the widgets end here; tests call them directly) --------------------------
    // The switch button of row k: takes the slot out of use, or into use (which excludes
    // circular recording).
    void switchRow(int row);
    // A radio button of the circular choice was selected (0 NO CIRCULATION, 1 CIRCULATION).
    void circularChosen(int choice);
    // Picker `id` (1025..1040) has a new value: corrects past times and ends before their starts,
    // takes the slot times and warns about slots out of order.
    void pickerChanged(int id);
    // The checks of OK; on success the result is taken and true returned, otherwise a message
    // was shown, the focus is on the control at fault and the dialog stays open.
    bool validateAndTake();
    void accept() override;

    // ---- State -----------------------------------------------------------------------------
    // The result (valid after validateAndTake() succeeded).
    const ConfigurationEdit& result() const { return result_; }
    bool rowInUse(int row) const { return rowInUse_.at(static_cast<std::size_t>(row)); }
    int32_t circularChoice() const { return circularChoice_; }
    // The slots as the dialog holds them (start and end change only through a picker change).
    const std::array<TimeSlot, kSlotCount>& slotTimes() const;

    QWidget* control(int id) const;
    QDateTimeEdit* picker(int id) const;
    QLineEdit* intervalEdit() const { return intervalEdit_; }
    QLineEdit* descriptionEdit() const { return descriptionEdit_; }
    // The full value of the start or end that picker `id` shows.
    QDateTime pickerValue(int id) const;
    // Puts a value into picker `id` as the user would, without its notification (tests then call
    // pickerChanged, as the queued notification would).
    void enterPickerValue(int id, const QDateTime& value);

private:
    struct Pair {
        int row = 0;
        bool end = false;
    };
    static Pair pairOf(int id);
    static bool isTimePicker(int id);

    void createControls();
    void applyTexts();
    void fitToTexts();
    void initialise();
    void setRowInUse(int row, bool inUse);
    void showValue(int row, bool end, const QDateTime& value);
    void selectCircularChoice(int choice);
    static QString formattedText(int languageIndex, std::initializer_list<long long> values = {});
    void message(int languageIndex, std::initializer_list<long long> values = {});
    void validationMessage(const QString& text, QWidget* control);
    void takeSlotTimes();
    void warnAboutSlotOrder();
    void onPickerSignal(int id);

    RecorderSettings settings_;
    Clock& clock_;
    CUserPrompts& prompts_;
    ConfigurationEdit result_;

    int32_t circularChoice_ = 0;
    bool circularHidden_ = false;
    std::array<bool, kSlotCount> rowInUse_{};
    // The value of each start and end, to the minute; the date and the time picker of one pair
    // both show it.
    std::array<std::array<QDateTime, 2>, kSlotCount> values_{};
    bool settingControls_ = false;

    std::map<int, QWidget*> controls_;
    std::unique_ptr<FittingLayout> layout_;
    QLineEdit* intervalEdit_ = nullptr;
    QLineEdit* descriptionEdit_ = nullptr;
    QButtonGroup* unitGroup_ = nullptr;
    QButtonGroup* orderGroup_ = nullptr;
    QButtonGroup* circularGroup_ = nullptr;
};

// The display range rule of slot times: a value that is invalid, later than 2099-12-31 23:59:59
// or earlier than 0200-01-01 is shown as 2099-12-31 23:59:59.
DateTime displayableSlotTime(const DateTime& t);

} // namespace veldrin
