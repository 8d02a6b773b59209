#pragma once
// The numbers of the language strings the window shows, each named once (see the sources in
// resources/lang/source/). A number used for two purposes has one name per purpose.

namespace veldrin::text {

// Languages and the language dialog.
inline constexpr int kLanguageTitle = 0;
inline constexpr int kFirstLanguageName = 1; // strings 1, 2, 3 name languages 0, 1, 2

// The preset periods, in the order of the period combo: hour, day, week, month, year.
inline constexpr int kPresetPeriods[] = {5, 4, 7, 6, 8};

// Buttons and common labels.
inline constexpr int kEnable = 13;
inline constexpr int kCancel = 14;
inline constexpr int kOk = 59;
inline constexpr int kDescription = 30;
inline constexpr int kRecorderNumber = 31;
inline constexpr int kNumber = 58;
inline constexpr int kVersion = 113;
inline constexpr int kInterval = 118;
inline constexpr int kPeriod = 76;
inline constexpr int kStartTime = 81;
inline constexpr int kEndTime = 36;
inline constexpr int kHumidity = 45;
inline constexpr int kTemperature = 89;
inline constexpr int kMaximum = 50;
inline constexpr int kMinimum = 53;

// Menus, toolbar, frame and About box.
inline constexpr int kExportMenu = 40;
inline constexpr int kRecorderSettingsMenu = 170;
inline constexpr int kClearPcData = 19;
inline constexpr int kAboutTitle = 11;
inline constexpr int kAlarmLimitsMenu = 171;
inline constexpr int kStatisticsMenu = 172;
inline constexpr int kHelpMenu = 44;
inline constexpr int kSettings = 78;
inline constexpr int kBackTip = 220;
inline constexpr int kProgramTitle = 115;
inline constexpr int kReadOnly = 140;
inline constexpr int kProgramInfo = 23;
inline constexpr int kWebsite = 63;
inline constexpr int kVersionLine = 117;

// Why a link or file could not be opened, and the heading above it.
inline constexpr int kOpenFailureHeading = 112;
inline constexpr int kUnknownCodeFormat = 114; // one %d: the error code
inline constexpr int kSharingViolation = 10;
inline constexpr int kOpenBadProgram = 92;
inline constexpr int kOpenBusy = 93;
inline constexpr int kOpenTimedOut = 94;
inline constexpr int kOpenFailed = 95;
inline constexpr int kOpenBadAssociation = 96;
inline constexpr int kAccessDenied = 98;
inline constexpr int kOutOfResources = 99;
inline constexpr int kLibraryMissing = 101;
inline constexpr int kFileNotFound = 102;
inline constexpr int kPathNotFound = 103;
inline constexpr int kNoAssociation = 107;
inline constexpr int kOutOfMemory = 108;

// The main view's form, its messages and the chart.
inline constexpr int kChartTitle = 116;
inline constexpr int kSelect = 76;
inline constexpr int kDisplay = 34;
inline constexpr int kChart = 32;
inline constexpr int kList = 91;
inline constexpr int kPresetPeriod = 119;
inline constexpr int kSlot = 74;
inline constexpr int kFreePeriod = 110;
inline constexpr int kWindowEndCorrected = 106;
inline constexpr int kFileUnreadable = 141;
inline constexpr int kNotADataFile = 142;
inline constexpr int kLoading = 49;
inline constexpr int kLatestReading = 25;
inline constexpr int kLatestHumidity = 26;
inline constexpr int kLatestTemperature = 27;
inline constexpr int kLatestTime = 28;
inline constexpr int kImageNotWritten = 122;
inline constexpr int kFileNotWritten = 124;

// The recorder dialogs and their messages.
inline constexpr int kNoRecorderAvailable = 57;
inline constexpr int kRecorderBusy = 100;
inline constexpr int kWriteRefused = 125;
inline constexpr int kLostDuringWrite = 126;
inline constexpr int kRecorderExchanged = 127;
inline constexpr int kCircular = 17;
inline constexpr int kCircularWithSlots = 46;
inline constexpr int kDateOrder = 52;
inline constexpr int kStopWhenFull = 56;
inline constexpr int kSlotsOutOfOrder = 75; // two %d: the later slot, then the earlier one
inline constexpr int kRecording = 84;
inline constexpr int kTemperatureUnit = 90;
inline constexpr int kStartInPast = 104;
inline constexpr int kEndBeforeStart = 105;
inline constexpr int kEndInPast = 146;
inline constexpr int kNotAnInteger = 143;
inline constexpr int kIntegerRange = 144; // two %d: the lowest and the highest value
inline constexpr int kTooLong = 145;      // one %d: the most characters

// Alarm limits, statistics and the report.
inline constexpr int kAlarmLimits = 173;
inline constexpr int kLimitNames[] = {174, 175, 176, 177}; // in LimitKind order
inline constexpr int kDelay = 178;
inline constexpr int kEmptyIsOff = 179;
inline constexpr int kNotANumber = 180;
inline constexpr int kLowAboveHigh = 181;
inline constexpr int kLimitsNotSaved = 182;
inline constexpr int kStatistics = 183;
inline constexpr int kRecords = 184;
inline constexpr int kMean = 185;
inline constexpr int kStandardDeviation = 186;
inline constexpr int kMeanKinetic = 187;
inline constexpr int kEvents = 188;
inline constexpr int kLimit = 189;
inline constexpr int kStart = 190;
inline constexpr int kEnd = 191;
inline constexpr int kDuration = 192;
inline constexpr int kExtreme = 193;
inline constexpr int kOutOfRange = 194;
inline constexpr int kAlarmStatus = 195;
inline constexpr int kAlarmEventBegan = 196;
inline constexpr int kReportFilter = 197;
inline constexpr int kReportTitle = 198;
inline constexpr int kIdentity = 199;
inline constexpr int kMade = 200;
inline constexpr int kProgram = 201;
inline constexpr int kPage = 202;
inline constexpr int kOff = 203;
inline constexpr int kNoRecords = 204;
inline constexpr int kNoEvents = 205;
inline constexpr int kFirstEvent = 207;
inline constexpr int kReportNotWritten = 208;
inline constexpr int kNoRecorderDisplayed = 209;
inline constexpr int kExtremeRule = 210; // an extreme's time is that of the latest reading
inline constexpr int kPngFilter = 230;
inline constexpr int kScreenPngFilter = 231; // PNG at the screen's device pixel ratio
inline constexpr int kSwitchOff = 232;       // a time slot's switch while the slot is in use
inline constexpr int kEditsKept = 233;       // Setting's OK found no recorder

// The printed report's own texts.
inline constexpr int kFingerprint = 260;
inline constexpr int kReviewedBy = 261;
inline constexpr int kReviewDate = 262;
inline constexpr int kSignature = 263;
inline constexpr int kComment = 264;
inline constexpr int kWithinLimits = 265;
inline constexpr int kExcursions = 266;
inline constexpr int kLimitsInForce = 267;
inline constexpr int kGaps = 268;
inline constexpr int kNoGaps = 269;
inline constexpr int kRecordsPresentExpected = 270;
inline constexpr int kTimeZone = 271;
inline constexpr int kMktParameter = 272;
inline constexpr int kVerdict = 273;
inline constexpr int kRecordingInterval = 274;
inline constexpr int kTimeBeyondLimit = 275; // every record beyond, delay or not
// The notes under the events table for events cut by the period's edges, which carry the mark.
inline constexpr int kBeganBeforePeriod = 288;
inline constexpr int kGoesOnAfterPeriod = 289;
// The limits table's columns: minutes in alarm events, and minutes beyond the limit in all.
inline constexpr int kTimeInEvents = 296;
inline constexpr int kTimeBeyondColumn = 297;

// Several recorders attached at once.
inline constexpr int kAttached = 316;            // a "Driver No." entry of an attached recorder
inline constexpr int kRecordersAttached = 317;   // status pane 1, followed by the count
inline constexpr int kRecorderNotAttached = 318; // Setting on a displayed recorder not attached

// Several recorders' curves compared in one chart.
inline constexpr int kCompareRecorders = 308;  // the command
inline constexpr int kComparedRecorders = 309; // over the list of recorders to choose
inline constexpr int kBackToChart = 310;
inline constexpr int kRecorderNumbered = 311; // a format with the recorder's number
inline constexpr int kTooManyCompared = 312;

// The status pane before anything has been reported there.
inline constexpr int kStatusIdle = 328;

} // namespace veldrin::text
