#include "view/attached_recorders.h"

#include "qlang/qlang.h"

#include <algorithm>

namespace veldrin {

namespace {

bool contains(const std::vector<int32_t>& numbers, int32_t number) {
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

bool anotherAttached(int32_t connected, const std::vector<int32_t>& attached) {
    return std::any_of(attached.begin(), attached.end(),
                       [connected](int32_t number) { return number >= 0 && number != connected; });
}

} // namespace

bool showsConnectedRecorder(int32_t displayed, int32_t connected,
                            const std::vector<int32_t>& attached) {
    return displayed < 0 || displayed == connected || !anotherAttached(connected, attached);
}

SettingTarget settingTarget(int32_t displayed, const std::vector<int32_t>& attached) {
    if (attached.empty()) {
        return {SettingTarget::Kind::noneAttached, -1};
    }
    if (displayed >= 0 && contains(attached, displayed)) {
        return {SettingTarget::Kind::attached, displayed};
    }
    if (displayed < 0 && attached.size() == 1) {
        return {SettingTarget::Kind::attached, attached.front()};
    }
    return {SettingTarget::Kind::notAttached, displayed};
}

QString textOfRecorder(int32_t recorder, const QString& text) {
    if (recorder < 0) {
        return text;
    }
    return qlang(text::kRecorderNumber) + QLatin1Char(' ') + QString::number(recorder) +
           (text.isEmpty() ? QString() : QStringLiteral(" \u2013 ") + text);
}

void StatusTurns::report(const Recorder& recorder, const QString& text) {
    latest_ = text;
    texts_[recorder.chain] = Said{recorder.number, text};
}

void StatusTurns::setAttached(const std::vector<Recorder>& attached) {
    const uint64_t current = turn();
    attached_ = attached;
    std::erase_if(texts_, [this](const auto& entry) {
        return std::none_of(attached_.begin(), attached_.end(),
                            [&entry](const Recorder& r) { return r.chain == entry.first; });
    });
    // The recorder whose turn it was keeps it when it is still attached.
    const auto at = std::find_if(attached_.begin(), attached_.end(),
                                 [current](const Recorder& r) { return r.chain == current; });
    if (current != 0 && at != attached_.end()) {
        turn_ = static_cast<std::size_t>(at - attached_.begin());
    } else {
        turn_ = 0;
        ticksInTurn_ = 0;
    }
    // The one recorder left attached is heard again, not the one that went away before it.
    if (attached_.size() == 1) {
        if (const auto said = texts_.find(attached_.front().chain); said != texts_.end()) {
            latest_ = said->second.text;
        }
    }
}

void StatusTurns::tick() {
    if (!takingTurns()) {
        return;
    }
    if (++ticksInTurn_ >= kTurnTicks) {
        ticksInTurn_ = 0;
        turn_ = (turn_ + 1) % attached_.size();
    }
}

uint64_t StatusTurns::turn() const {
    return takingTurns() ? attached_[turn_ % attached_.size()].chain : 0;
}

QString StatusTurns::paneText() const {
    if (!takingTurns()) {
        return latest_;
    }
    const Recorder& recorder = attached_[turn_ % attached_.size()];
    const auto said = texts_.find(recorder.chain);
    if (said == texts_.end()) {
        return textOfRecorder(recorder.number, QString());
    }
    // The number as last heard: a recorder identified since its text came is named by it.
    return textOfRecorder(recorder.number >= 0 ? recorder.number : said->second.number,
                          said->second.text);
}

} // namespace veldrin
