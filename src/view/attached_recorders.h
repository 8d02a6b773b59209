#pragma once
// The rules of the window for several recorders attached at once, without any widget: which
// recorder the display shows when one registers, which recorder the Setting command acts on, and
// what the status bar's left pane says while several recorders report.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace veldrin {

// Whether a recorder just registered or recognised (`connected`) becomes the displayed one.
// It does when nothing is displayed (`displayed` -1: no recorder, or a file opened read-only), when
// it is the displayed one, or when no other recorder is attached, so that one recorder on its own
// is shown as it always was. A second recorder plugged in never takes the display from the one the
// user looks at. `attached`: the numbers of the recorders attached now (`connected` may be among
// them).
bool showsConnectedRecorder(int32_t displayed, int32_t connected,
                            const std::vector<int32_t>& attached);

// What the Setting command acts on.
struct SettingTarget {
    enum class Kind {
        noneAttached, // no recorder attached at all: refused as it always was
        attached,     // `number` is attached: its chain writes it
        notAttached,  // the displayed recorder is not attached: refused, naming it
    };
    Kind kind = Kind::noneAttached;
    int32_t number = -1;
    bool operator==(const SettingTarget&) const = default;
};

// The displayed recorder when it is attached. With nothing displayed (a file opened read-only)
// and exactly one recorder attached, that one, as before several could be attached.
SettingTarget settingTarget(int32_t displayed, const std::vector<int32_t>& attached);

// The text of the status bar's left pane while recorders report. With one recorder attached (or
// none) it is the latest report's text, whoever sent it, as it always was. With several, the pane
// gives each attached recorder a turn of kTurnTicks one-second ticks, showing its latest text
// after its number, so that a long download of one does not hide what the others do. Recorders
// are told apart by their chain (a number is known only once a recorder is identified).
class StatusTurns {
public:
    static constexpr int kTurnTicks = 2;

    struct Recorder {
        uint64_t chain = 0;
        int32_t number = -1;
    };

    // A recorder's latest text (a report, or that it was pulled).
    void report(const Recorder& recorder, const QString& text);
    // The recorders attached now, in the order they take turns; the others' texts are forgotten.
    void setAttached(const std::vector<Recorder>& attached);
    // One second passed: the next recorder's turn when the current one's is over.
    void tick();
    // What the pane shows now; empty before any report.
    QString paneText() const;
    // The chain whose turn it is; 0 when the pane is not taking turns.
    uint64_t turn() const;

private:
    struct Said {
        int32_t number = -1;
        QString text;
    };
    bool takingTurns() const { return attached_.size() > 1; }

    std::vector<Recorder> attached_;
    std::map<uint64_t, Said> texts_;
    QString latest_;
    std::size_t turn_ = 0;
    int ticksInTurn_ = 0;
};

// A recorder's text in its turn: its number after the recorder label, then the text (the text
// alone for a recorder not yet identified).
QString textOfRecorder(int32_t recorder, const QString& text);

} // namespace veldrin
