#pragma once
// The two commands of the main view that write a recorder or its PC copy: Setting (the recorder's
// configuration, edited in CSettingsDialog and written on the window thread) and Clear PC Data
// (a recorder's history on the PC, chosen in ClearDataDialog). The view calls them from its
// command handlers and does the repainting the outcome asks for.
//
// The dialogs run through a runner, so that tests answer them without a modal loop; the default
// runner shows them modally.

#include "acquisition/acquisition.h"
#include "settings/clear_data_dialog.h"
#include "settings/settings_dialog.h"
#include "settings/user_prompts.h"

#include <functional>
#include <optional>

namespace veldrin {

// Accepted (true) or cancelled (false).
using SettingsDialogRunner = std::function<bool(CSettingsDialog&)>;
using ClearDialogRunner = std::function<bool(ClearDataDialog&)>;

enum class SettingOutcome {
    noRecorder,   // refused before the dialog: no recorder attached (string 57)
    busy,         // refused before the dialog: a command chain runs (string 100)
    cancelled,    // the dialog was cancelled
    lostRecorder, // after OK the recorder was gone (string 57); nothing written, the edits are
                  // kept for the next Setting of the same recorder
    busyAfterOk,  // after OK a command chain ran (string 100); nothing written
    exchanged,    // after OK another recorder was attached (string 127); nothing written
    refused,      // the recorder refused a write (string 125); the settings and file follow what
                  // it holds now
    lostInWrite,  // the recorder stopped answering during the writes (string 126)
    written,      // written and read back; the connected settings and file follow the recorder
};

// The dialog ran: the view lists the displayed recorder's slots again and refills its list.
constexpr bool settingDialogRan(SettingOutcome outcome) {
    return outcome != SettingOutcome::noRecorder && outcome != SettingOutcome::busy;
}

// The edits of a Setting whose OK found the recorder gone or busy, for the next Setting of the
// same recorder.
struct KeptSettingEdits {
    int32_t recorder = -1;
    std::optional<RecorderSettings> settings;
};

// Runs the Setting command on the window thread. While the dialog is open the periodic step
// sends no command, so that nothing else talks to the recorder when the edit is written.
// With `kept`, the edits of an OK that found the recorder gone or busy are kept there and the
// next Setting of the same recorder starts from them.
SettingOutcome runSettingCommand(Acquisition& acquisition, CUserPrompts& prompts, QWidget* parent,
                                 const SettingsDialogRunner& runDialog = {},
                                 KeptSettingEdits* kept = nullptr);

enum class ClearOutcome {
    cancelled,  // nothing changed
    noRecorder, // no recorder registered (string 57); nothing written
    busy,    // the connected recorder's history is being downloaded (string 100); nothing written
    cleared, // the chosen recorder's file holds no records now
    failed,  // the file could not be written (the store has reported why)
};

// The view repaints its display area after anything but a cancel or a refusal for a busy worker.
constexpr bool clearNeedsRepaint(ClearOutcome outcome) {
    return outcome != ClearOutcome::cancelled && outcome != ClearOutcome::busy;
}

// Runs the Clear PC Data command on the window thread. After the dialog's OK the periodic step is
// brought to the tick before its download (tickCounter 14), so that a cleared connected recorder
// is downloaded again from the start within a second.
ClearOutcome runClearPcData(Acquisition& acquisition, CUserPrompts& prompts, QWidget* parent,
                            const ClearDialogRunner& runDialog = {});

// The acquisition serving a recorder that is attached now, by its number; null when it is not.
using ChainOfRecorder = std::function<Acquisition*(int32_t number)>;
// Whether a command runs for a recorder anywhere, also in a chain that served it and is still
// finishing after the recorder went: its file may still be written.
using RecorderBusy = std::function<bool(int32_t number)>;

// The same with several recorders attached, each on an acquisition of its own: an attached
// recorder is cleared through its own chain (refused only while a command runs for that
// recorder, never for another recorder's download), which then downloads it again from the start
// within a second; a recorder not attached is cleared through `store`, which also gives the
// dialog the descriptions, and is refused in the same words while `busy` says that a chain it
// left (pulled during a download) still saves its file: that save would put the records back.
ClearOutcome runClearPcData(DataStore& store, const ChainOfRecorder& chainOf,
                            const RecorderBusy& busy, CUserPrompts& prompts, QWidget* parent,
                            const ClearDialogRunner& runDialog = {});

} // namespace veldrin
