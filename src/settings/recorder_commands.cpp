#include "settings/recorder_commands.h"

#include "lang/language_table.h"
#include "store/registry.h"

namespace veldrin {

namespace {

constexpr int kTextNoRecorder = 57;
constexpr int kTextBusy = 100;
// One tick before the periodic download of the 15th.
constexpr int kTickBeforeDownload = 14;
constexpr const char* kCurrentIdKey = "ID";

void say(CUserPrompts& prompts, QWidget* parent, int languageIndex) {
    prompts.message(parent, QString::fromStdU16String(languageString(languageIndex)),
                    PromptIcon::None);
}

template <class Dialog> bool execModally(Dialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

// Holds the periodic commands for the life of the dialog.
class PeriodicHold {
public:
    explicit PeriodicHold(Acquisition& acquisition)
        : acquisition_(acquisition), previous_(acquisition.periodicCommandsHeld()) {
        acquisition_.holdPeriodicCommands(true);
    }
    ~PeriodicHold() { acquisition_.holdPeriodicCommands(previous_); }
    PeriodicHold(const PeriodicHold&) = delete;
    PeriodicHold& operator=(const PeriodicHold&) = delete;

private:
    Acquisition& acquisition_;
    bool previous_;
};

// The recorder may be talked to: no chain runs (checked first, so that the presence check never
// opens the recorder anew under a running worker) and a recorder answers.
SettingOutcome recorderFree(Acquisition& acquisition) {
    if (acquisition.workerBusy()) {
        return SettingOutcome::busy;
    }
    if (acquisition.link().CheckPresence() == 0) {
        return SettingOutcome::noRecorder;
    }
    return SettingOutcome::written;
}

} // namespace

SettingOutcome runSettingCommand(Acquisition& acquisition, CUserPrompts& prompts, QWidget* parent,
                                 const SettingsDialogRunner& runDialog) {
    CurrentLanguage::get(); // clamps an out-of-range language
    const SettingOutcome before = recorderFree(acquisition);
    if (before != SettingOutcome::written) {
        say(prompts, parent, before == SettingOutcome::busy ? kTextBusy : kTextNoRecorder);
        return before;
    }

    ConfigurationEdit edit;
    {
        const PeriodicHold hold(acquisition);
        CSettingsDialog dialog(acquisition.store().connectedSettings(), acquisition.store().clock(),
                               prompts, parent);
        const bool accepted = runDialog ? runDialog(dialog) : execModally(dialog);
        if (!accepted) {
            return SettingOutcome::cancelled;
        }
        edit = dialog.result();

        // The dialog may have been open for long: look again before writing.
        const SettingOutcome after = recorderFree(acquisition);
        if (after != SettingOutcome::written) {
            const bool busy = after == SettingOutcome::busy;
            say(prompts, parent, busy ? kTextBusy : kTextNoRecorder);
            return busy ? SettingOutcome::busyAfterOk : SettingOutcome::lostRecorder;
        }
    }
    if (acquisition.writeSettings(edit) == 0) {
        say(prompts, parent, kTextNoRecorder);
        return SettingOutcome::writeFailed;
    }
    return SettingOutcome::written;
}

ClearOutcome runClearPcData(Acquisition& acquisition, CUserPrompts& prompts, QWidget* parent,
                            const ClearDialogRunner& runDialog) {
    CurrentLanguage::get();
    DataStore& store = acquisition.store();
    const int32_t maxId = readMaxId(store.ini());
    const int32_t preset = store.ini().readInt(kRegistrySection, kCurrentIdKey, 0);
    ClearDataDialog dialog(store, maxId, preset, parent);
    const bool accepted = runDialog ? runDialog(dialog) : execModally(dialog);
    if (!accepted) {
        return ClearOutcome::cancelled;
    }
    const int32_t chosen = dialog.chosenRecorder();
    ClearOutcome outcome = ClearOutcome::noRecorder;
    if (maxId <= 0 || chosen < 0) {
        say(prompts, parent, kTextNoRecorder);
    } else if (chosen == store.currentRecorder() && acquisition.workerBusy()) {
        // A download running now would append to the emptied history and move its next address
        // past records that then could never be fetched again.
        say(prompts, parent, kTextBusy);
        return ClearOutcome::busy;
    } else {
        outcome = store.clearRecorder(chosen) != 0 ? ClearOutcome::cleared : ClearOutcome::failed;
    }
    acquisition.setTickCounter(kTickBeforeDownload);
    return outcome;
}

} // namespace veldrin
