#pragma once
// Numeric identifiers of the window's menu and toolbar commands, of the main view's controls and
// of the messages it shows. The numbers are fixed: menus, toolbars and dialogs refer to them.

namespace veldrin {

namespace command_id {
constexpr int kMenuItemZero = 32771; // the empty, disabled first menu item
constexpr int kExport = 32773;
constexpr int kSetting = 32772;
constexpr int kClearPcData = 32785;
constexpr int kLanguage = 32775;
constexpr int kAbout = 57664;
constexpr int kNew = 57600;
constexpr int kOpen = 57601;
constexpr int kBack = 32820; // back to the time window before the chart moved it
// The Setting menu's alarm commands.
constexpr int kAlarmLimits = 32800;
constexpr int kStatistics = 32801;
// Several recorders' curves in one chart, in place of the chart (and back).
constexpr int kCompareRecorders = 32830;
} // namespace command_id

// Controls of the main view's form.
namespace control_id {
constexpr int kPeriodCombo = 1000;
constexpr int kProgress = 1001;
constexpr int kSelectCombo = 1002;
constexpr int kRecorderCombo = 1003;
constexpr int kRecordList = 1006;
constexpr int kRecorderLabel = 1008;
constexpr int kIntervalEdit = 1009;
constexpr int kDisplayCombo = 1010;
constexpr int kStartDate = 1011;
constexpr int kStartTime = 1012;
constexpr int kEndDate = 1013;
constexpr int kEndTime = 1014;
constexpr int kDescription = 1015;
constexpr int kChartTitle = 1020;
constexpr int kSelectLabel = 1022;
constexpr int kIntervalLabel = 1023;
constexpr int kDisplayLabel = 1024;
constexpr int kStartLabel = 1025;
constexpr int kEndLabel = 1026;
} // namespace control_id

} // namespace veldrin
