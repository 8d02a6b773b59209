#pragma once
// A CUserPrompts that records every message instead of showing it, and helpers to name the
// language texts a test expects.

#include "lang/language_table.h"
#include "lang/safe_format.h"
#include "settings/user_prompts.h"

#include <QStringList>

namespace veldrin::testing {

class RecordingPrompts final : public CUserPrompts {
public:
    void message(QWidget*, const QString& text, PromptIcon, const QString& = QString()) override {
        messages.push_back(text);
    }
    bool ask(QWidget*, const QString&, const QString& = QString()) override { return true; }
    QString chooseFile(QWidget*, const FileDialogRequest&, QString* = nullptr) override {
        return {};
    }
    // The messages since the last call.
    QStringList take() {
        QStringList out;
        out.swap(messages);
        return out;
    }
    QStringList messages;
};

inline QString lang(int index, std::initializer_list<long long> values = {}) {
    return QString::fromStdU16String(formattedLanguageString(index, values));
}

} // namespace veldrin::testing
