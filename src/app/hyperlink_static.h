#pragma once
// A text that behaves like a web link: link colours, underline, hand cursor, the target as its
// tooltip, and on a click the target opened by the desktop (never by building a command line).
// A failure beeps and explains itself by the opener's result code.

#include <QColor>
#include <QLabel>

#include <functional>

namespace veldrin {

// Result codes of opening a target: above 32 is success, the rest name the failure.
namespace open_result {
constexpr int kOutOfResources = 0;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNoAssociation = 31;
constexpr int kSuccess = 33;
} // namespace open_result

// The message for a failed open: language string 112, a blank line, and the detail text of the
// result code (language string 114 with the number for a code that has none of its own).
QString openFailureText(int resultCode);

// Opens `target` with the desktop's handler for it; returns one of the result codes above.
int openWithDesktop(const QString& target);

class HyperlinkStatic : public QLabel {
    Q_OBJECT
public:
    using Opener = std::function<int(const QString& target)>;
    using FailureReporter = std::function<void(const QString& message)>;

    explicit HyperlinkStatic(QWidget* parent = nullptr);

    // What a click opens; also the tooltip. Refits the control to its text when auto-sizing.
    void setTarget(const QString& target);
    const QString& target() const { return target_; }
    void setVisited(bool visited);
    bool visited() const { return visited_; }
    void setAutoSize(bool autoSize);
    bool hovering() const { return hovering_; }
    // The colour the text is drawn in now.
    QColor currentColour() const;

    // Shows `text` (plain) and refits the control when auto-sizing.
    void setLinkText(const QString& text);

    // Tests replace the desktop and the message box.
    void setOpener(Opener opener) { opener_ = std::move(opener); }
    void setFailureReporter(FailureReporter reporter) { reportFailure_ = std::move(reporter); }

    // What a click does: open the target; visited on success, otherwise beep and report.
    void click();

    static const QColor kLinkColour;
    static const QColor kVisitedColour;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void fitToText();
    void applyColour();

    QString target_;
    QColor hoverColour_;
    bool hovering_ = false;
    bool visited_ = false;
    bool autoSize_ = true;
    Opener opener_ = openWithDesktop;
    FailureReporter reportFailure_;
};

} // namespace veldrin
