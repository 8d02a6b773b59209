#pragma once
// The Clear PC Data dialog (resource 133): the user picks a registered recorder's number from a
// fixed list and sees its description as a check before the PC copy of its history is emptied.
// The list cannot be typed into, so the number cleared is always the one shown and always a
// registered one.

#include "store/data_store.h"
#include "store/registry.h"

#include <QDialog>

class QComboBox;
class QLabel;

namespace veldrin {

namespace clear_ids {
constexpr int kDialog = 133;
constexpr int kNumberLabel = 1008;
constexpr int kRecorder = 1003;
constexpr int kDescription = 1048;
constexpr int kOk = 1;
constexpr int kCancel = 2;
} // namespace clear_ids

class ClearDataDialog : public QDialog {
    Q_OBJECT
public:
    // `maxId` recorders are registered (numbers 0 .. maxId-1); `chosen` is preselected (a number
    // outside that range selects 0).
    ClearDataDialog(DataStore& store, int32_t maxId, int32_t chosen, QWidget* parent = nullptr);

    // Selection change of the list: the description of that recorder's file is shown.
    void recorderChosen(int position);

    // The recorder to clear; -1 with no recorder registered.
    int32_t chosenRecorder() const { return chosen_; }
    QComboBox* recorderList() const { return list_; }
    QLabel* descriptionLabel() const { return description_; }

private:
    DataStore& store_;
    int32_t maxId_;
    int32_t chosen_ = -1;
    QComboBox* list_ = nullptr;
    QLabel* description_ = nullptr;
};

} // namespace veldrin
