#include "settings/recorder_commands.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "store/registry.h"

#include <optional>

namespace veldrin {

namespace {

// One tick before the periodic download of the 15th.
constexpr int kTickBeforeDownload = 14;
constexpr const char* kCurrentIdKey = "ID";

void say(CUserPrompts& prompts, QWidget* parent, int languageIndex) {
    prompts.message(parent, qlang(languageIndex), PromptIcon::None);
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

// Why the window thread may not talk to the recorder now: a chain runs (checked first, so that
// the presence check never opens the recorder anew under a running worker) or no recorder
// answers; none when it may.
enum class Refusal { none, busy, noRecorder };

Refusal recorderRefusal(Acquisition& acquisition) {
    if (acquisition.workerBusy()) {
        return Refusal::busy;
    }
    if (acquisition.link().CheckPresence() == 0) {
        return Refusal::noRecorder;
    }
    return Refusal::none;
}

RecorderSettings withEdits(RecorderSettings settings, const ConfigurationEdit& edit) {
    settings.tempUnit = edit.tempUnit;
    settings.dateOrder = edit.dateOrder;
    settings.circularMode = edit.circular;
    settings.interval = edit.interval;
    settings.description = edit.description;
    settings.slots = edit.slots;
    return settings;
}

// What the dialog starts from: the edits kept for this recorder, else what it holds.
RecorderSettings startingSettings(const RecorderSettings& connected, const KeptSettingEdits* kept) {
    if (kept != nullptr && kept->settings && kept->recorder == connected.recorderNumber) {
        return *kept->settings;
    }
    return connected;
}

void sayRefusal(CUserPrompts& prompts, QWidget* parent, Refusal refusal) {
    say(prompts, parent,
        refusal == Refusal::busy ? text::kRecorderBusy : text::kNoRecorderAvailable);
}

} // namespace

SettingOutcome runSettingCommand(Acquisition& acquisition, CUserPrompts& prompts, QWidget* parent,
                                 const SettingsDialogRunner& runDialog, KeptSettingEdits* kept) {
    CurrentLanguage::get(); // clamps an out-of-range language
    const Refusal before = recorderRefusal(acquisition);
    if (before != Refusal::none) {
        sayRefusal(prompts, parent, before);
        return before == Refusal::busy ? SettingOutcome::busy : SettingOutcome::noRecorder;
    }

    ConfigurationEdit edit;
    {
        const PeriodicHold hold(acquisition);
        const RecorderSettings connected = acquisition.store().connectedSettings();
        CSettingsDialog dialog(startingSettings(connected, kept), acquisition.store().clock(),
                               prompts, parent);
        const bool accepted = runDialog ? runDialog(dialog) : execModally(dialog);
        if (!accepted) {
            return SettingOutcome::cancelled;
        }
        edit = dialog.result();
        if (kept != nullptr) {
            kept->settings.reset();
        }

        // The dialog may have been open for long: look again before writing. The edits are kept
        // for the next try rather than lost with the recorder.
        const Refusal after = recorderRefusal(acquisition);
        if (after != Refusal::none) {
            if (kept == nullptr) {
                sayRefusal(prompts, parent, after);
            } else {
                *kept = KeptSettingEdits{connected.recorderNumber, withEdits(connected, edit)};
                prompts.message(parent,
                                qlang(after == Refusal::busy ? text::kRecorderBusy
                                                             : text::kNoRecorderAvailable) +
                                    QLatin1Char('\n') + qlang(text::kEditsKept),
                                PromptIcon::None);
            }
            return after == Refusal::busy ? SettingOutcome::busyAfterOk
                                          : SettingOutcome::lostRecorder;
        }
    }
    switch (acquisition.writeConfiguration(edit)) {
    case Acquisition::WriteResult::written:
        return SettingOutcome::written;
    case Acquisition::WriteResult::refused:
        say(prompts, parent, text::kWriteRefused);
        return SettingOutcome::refused;
    case Acquisition::WriteResult::lost:
        say(prompts, parent, text::kLostDuringWrite);
        return SettingOutcome::lostInWrite;
    case Acquisition::WriteResult::exchanged:
        break;
    }
    say(prompts, parent, text::kRecorderExchanged);
    return SettingOutcome::exchanged;
}

ClearOutcome runClearPcData(Acquisition& acquisition, CUserPrompts& prompts, QWidget* parent,
                            const ClearDialogRunner& runDialog) {
    DataStore& store = acquisition.store();
    const ChainOfRecorder connected = [&](int32_t number) {
        return number == store.currentRecorder() ? &acquisition : nullptr;
    };
    const ClearOutcome outcome =
        runClearPcData(store, connected, RecorderBusy{}, prompts, parent, runDialog);
    // Whichever recorder was chosen, the connected one is looked at within a second.
    if (outcome != ClearOutcome::cancelled && outcome != ClearOutcome::busy) {
        acquisition.setTickCounter(kTickBeforeDownload);
    }
    return outcome;
}

ClearOutcome runClearPcData(DataStore& store, const ChainOfRecorder& chainOf,
                            const RecorderBusy& busy, CUserPrompts& prompts, QWidget* parent,
                            const ClearDialogRunner& runDialog) {
    CurrentLanguage::get();
    const int32_t maxId = readMaxId(store.ini());
    const int32_t preset = store.ini().readInt(kRegistrySection, kCurrentIdKey, 0);
    ClearDataDialog dialog(store, maxId, preset, parent);
    const bool accepted = runDialog ? runDialog(dialog) : execModally(dialog);
    if (!accepted) {
        return ClearOutcome::cancelled;
    }
    const int32_t chosen = dialog.chosenRecorder();
    if (maxId <= 0 || chosen < 0) {
        say(prompts, parent, text::kNoRecorderAvailable);
        return ClearOutcome::noRecorder;
    }
    Acquisition* chain = chainOf ? chainOf(chosen) : nullptr;
    if ((chain != nullptr && chain->workerBusy()) || (busy && busy(chosen))) {
        // A download running now would append to the emptied history and move its next address
        // past records that then could never be fetched again; one ending in a chain whose
        // recorder has just been pulled would save the records back into the emptied file.
        say(prompts, parent, text::kRecorderBusy);
        return ClearOutcome::busy;
    }
    if (chain == nullptr) {
        return store.clearRecorder(chosen) != 0 ? ClearOutcome::cleared : ClearOutcome::failed;
    }
    const ClearOutcome outcome =
        chain->store().clearRecorder(chosen) != 0 ? ClearOutcome::cleared : ClearOutcome::failed;
    chain->setTickCounter(kTickBeforeDownload);
    return outcome;
}

} // namespace veldrin
