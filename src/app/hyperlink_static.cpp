#include "app/hyperlink_static.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "lang/safe_format.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>
#include <QUrl>

namespace veldrin {

namespace {

struct CodeText {
    int code;
    int languageIndex;
};
constexpr CodeText kCodeTexts[] = {
    {0, text::kOutOfResources},    {2, text::kFileNotFound},        {3, text::kPathNotFound},
    {5, text::kAccessDenied},      {8, text::kOutOfMemory},         {11, text::kOpenBadProgram},
    {26, text::kSharingViolation}, {27, text::kOpenBadAssociation}, {28, text::kOpenTimedOut},
    {29, text::kOpenFailed},       {30, text::kOpenBusy},           {31, text::kNoAssociation},
    {32, text::kLibraryMissing},
};

} // namespace

const QColor HyperlinkStatic::kLinkColour(0, 0, 238);
const QColor HyperlinkStatic::kVisitedColour(85, 26, 139);

QString openFailureText(int resultCode) {
    QString detail;
    for (const CodeText& entry : kCodeTexts) {
        if (entry.code == resultCode) {
            detail = qlang(entry.languageIndex);
        }
    }
    if (detail.isNull()) {
        detail = qlangFormatted(text::kUnknownCodeFormat, {resultCode});
    }
    return qlang(text::kOpenFailureHeading) + QStringLiteral("\n\n") + detail;
}

int openWithDesktop(const QString& target) {
    const QUrl url = QUrl::fromUserInput(target, QString(), QUrl::AssumeLocalFile);
    if (!url.isValid() || url.isEmpty()) {
        return open_result::kFileNotFound;
    }
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        return open_result::kFileNotFound;
    }
    return QDesktopServices::openUrl(url) ? open_result::kSuccess : open_result::kNoAssociation;
}

HyperlinkStatic::HyperlinkStatic(QWidget* parent)
    : QLabel(parent), hoverColour_(palette().color(QPalette::Highlight)) {
    setTextFormat(Qt::PlainText); // the link text comes from an editable file
    setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    applyColour();
}

void HyperlinkStatic::setTarget(const QString& target) {
    target_ = target;
    // Escaped, so that a target from main.ini is never taken as markup; kept on one line, where
    // a tooltip would otherwise break a long address at its slashes.
    setToolTip(
        target.isEmpty()
            ? QString()
            : QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(target.toHtmlEscaped()));
    fitToText();
}

void HyperlinkStatic::setLinkText(const QString& linkText) {
    setText(linkText);
    fitToText();
}

void HyperlinkStatic::setVisited(bool visited) {
    visited_ = visited;
    applyColour();
}

void HyperlinkStatic::setAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    fitToText();
}

QColor HyperlinkStatic::currentColour() const {
    if (hovering_) {
        return hoverColour_;
    }
    return visited_ ? kVisitedColour : kLinkColour;
}

void HyperlinkStatic::applyColour() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, currentColour());
    setPalette(p);
    update();
}

void HyperlinkStatic::fitToText() {
    if (!autoSize_) {
        return;
    }
    const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
    QRect r = geometry();
    const Qt::Alignment a = alignment();
    if (a & Qt::AlignVCenter) {
        r.setTop(r.center().y() - textSize.height() / 2);
    }
    r.setHeight(textSize.height());
    if (a & Qt::AlignHCenter) {
        r.setLeft(r.center().x() - textSize.width() / 2);
        r.setWidth(textSize.width());
    } else if (a & Qt::AlignRight) {
        r.setLeft(r.right() + 1 - textSize.width());
    } else {
        r.setWidth(textSize.width());
    }
    setGeometry(r);
}

void HyperlinkStatic::click() {
    if (target_.isEmpty()) {
        return;
    }
    const int result = opener_(target_);
    if (result > 32) {
        setVisited(true);
        return;
    }
    setVisited(false);
    QApplication::beep();
    if (reportFailure_) {
        reportFailure_(openFailureText(result));
    }
}

void HyperlinkStatic::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        click();
    }
    QLabel::mouseReleaseEvent(event);
}

void HyperlinkStatic::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    applyColour();
    QLabel::enterEvent(event);
}

void HyperlinkStatic::leaveEvent(QEvent* event) {
    hovering_ = false;
    applyColour();
    QLabel::leaveEvent(event);
}

} // namespace veldrin
