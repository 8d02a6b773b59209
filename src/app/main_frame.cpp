#include "app/main_frame.h"

#include "qlang/qlang.h"

#include "app/pictures.h"
#include "lang/language_table.h"
#include "settings/qt_translations.h"
#include "view/command_ids.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace veldrin {

namespace {

// The language string of each menu command; the Help pop-up's title is text::kHelpMenu.
struct MenuText {
    int commandId;
    int languageIndex;
};
constexpr MenuText kMenuTexts[] = {
    {command_id::kExport, text::kExportMenu},
    {command_id::kSetting, text::kRecorderSettingsMenu},
    {command_id::kClearPcData, text::kClearPcData},
    {command_id::kLanguage, text::kLanguageTitle},
    {command_id::kAbout, text::kAboutTitle},
    {command_id::kAlarmLimits, text::kAlarmLimitsMenu},
    {command_id::kStatistics, text::kStatisticsMenu},
    {command_id::kCompareRecorders, text::kCompareRecorders},
};

constexpr const char* kPositionKey = "window/position";
// The count of attached recorders sits on a disc of the attached picture's green.
const QColor kCountBadgeGreen(0x2e, 0x9e, 0x3e);
constexpr const char* kSizeKey = "window/size";

} // namespace

// ----- status pane 1 -------------------------------------------------------------------------

CConnectionPane::CConnectionPane(QWidget* parent)
    : QWidget(parent), noRecorder_(statusPicture(false)), recorder_(statusPicture(true)) {
    setFixedWidth(frame_id::kConnectionPaneWidth);
    setMinimumHeight(16);
}

void CConnectionPane::setAttachedCount(int count) {
    count = std::max(0, count);
    if (count != count_) {
        count_ = count;
        applyLanguage();
        update();
    }
}

void CConnectionPane::applyLanguage() {
    setToolTip(count_ > 0
                   ? qlang(text::kRecordersAttached) + QLatin1Char(' ') + QString::number(count_)
                   : QString());
}

void CConnectionPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), count_ > 0 ? recorder_ : noRecorder_);
    // One recorder shows the picture alone, as it always did; several show how many.
    if (count_ > 1) {
        const QString number = QString::number(count_);
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        const int side =
            std::max(rect().height(), QFontMetrics(bold).horizontalAdvance(number) + 4);
        const QRect badge(rect().right() - side + 1, rect().top(), side, rect().height());
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kCountBadgeGreen);
        painter.drawEllipse(badge.adjusted(1, 1, -1, -1));
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, number);
    }
}

// ----- the frame -----------------------------------------------------------------------------

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Veldrin"));
    setWindowIcon(programIcon());
    resize(frame_id::kInitialWidth, frame_id::kInitialHeight);
    createMenu();
    createToolBar();
    createStatusBar();
    createKeyboardCommands();
    setAcceptDrops(true);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::makeAction(int commandId, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setData(commandId);
    connect(action, &QAction::triggered, this,
            [this, commandId] { Q_EMIT commandRequested(commandId); });
    actions_.insert(commandId, action);
    return action;
}

QAction* CMainFrame::commandAction(int commandId) const {
    return actions_.value(commandId, nullptr);
}

void CMainFrame::createMenu() {
    QMenuBar* bar = menuBar();
    // Item 0 has no caption and no handler: it shows empty and greyed.
    QAction* empty = bar->addAction(QString());
    empty->setData(command_id::kMenuItemZero);
    empty->setEnabled(false);
    actions_.insert(command_id::kMenuItemZero, empty);
    bar->addAction(makeAction(command_id::kExport, QStringLiteral("&Export")));
    // The recorder's settings and the alarm commands share the Setting menu.
    QMenu* setting = bar->addMenu(QStringLiteral("&Setting"));
    setting->addAction(makeAction(command_id::kSetting, QStringLiteral("Recorder settings...")));
    setting->addAction(makeAction(command_id::kAlarmLimits, QStringLiteral("Alarm limits...")));
    setting->addAction(makeAction(command_id::kStatistics, QStringLiteral("Statistics...")));
    setting->addAction(
        makeAction(command_id::kCompareRecorders, QStringLiteral("Compare recorders")));
    settingMenuAction_ = setting->menuAction();
    // The menu stands where the Setting command stood; the toolbar button still runs it at once.
    settingMenuAction_->setData(command_id::kSetting);
    bar->addAction(makeAction(command_id::kClearPcData, QStringLiteral("&Clear PC Data")));
    bar->addAction(makeAction(command_id::kLanguage, QStringLiteral("Language")));
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(makeAction(command_id::kAbout, QStringLiteral("&About Veldrin")));
    helpMenuAction_ = help->menuAction();
}

void CMainFrame::createToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("toolBar"));
    toolBar_->setProperty("controlId", frame_id::kToolBar);
    toolBar_->setMovable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar_->setIconSize(QSize(kToolbarImageWidth - 4, kToolbarImageHeight - 4));
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    // 0 stands for a separator.
    const int commands[] = {command_id::kExport,      command_id::kSetting,
                            command_id::kClearPcData, 0,
                            command_id::kAbout,       0,
                            command_id::kBack};
    for (const int id : commands) {
        if (id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        // A button of its own, not the menu's action: a menu bar shows an action's icon in place
        // of its text.
        auto* action = new QAction(QIcon(QPixmap::fromImage(toolbarImage(id))), QString(), this);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { Q_EMIT commandRequested(id); });
        toolBar_->addAction(action);
        QWidget* button = toolBar_->widgetForAction(action);
        button->setFixedSize(kToolbarImageWidth, kToolbarImageHeight);
        if (id == command_id::kBack) {
            backButton_ = action;           // on no menu: its tooltip is its own language string
            backButton_->setEnabled(false); // nothing to go back to yet
        }
        // Hovering shows the button's tooltip, never a prompt in the status bar.
        button->installEventFilter(this);
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setProperty("controlId", frame_id::kStatusBar);
    statusText_ = qlang(text::kStatusIdle);
    statusIdle_ = true;
    statusPane_ = new QLabel(statusText_, bar);
    statusPane_->setTextFormat(Qt::PlainText);
    statusPane_->setProperty("indicatorId", frame_id::kIndicator);
    connectionPane_ = new CConnectionPane(bar);
    connectionPane_->setProperty("indicatorId", frame_id::kIndicator);
    bar->addWidget(statusPane_);
    bar->addWidget(connectionPane_);
    setStatusPaneWidth(frame_id::kInitialWidth - frame_id::kStatusPaneMargin);
}

void CMainFrame::createKeyboardCommands() {
    // No File menu: New, Open and Save are reached by their keys only.
    const struct {
        int id;
        QKeySequence::StandardKey key;
    } keys[] = {{command_id::kNew, QKeySequence::New},
                {command_id::kOpen, QKeySequence::Open},
                {frame_id::kSave, QKeySequence::Save}};
    for (const auto& entry : keys) {
        QAction* action = makeAction(entry.id, QString());
        action->setShortcut(entry.key);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    // Closing from the keyboard, also where no window manager offers Alt+F4.
    auto* quit = new QAction(this);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::WindowShortcut);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);
}

void CMainFrame::setStatusText(const QString& text) {
    statusIdle_ = false;
    statusText_ = text;
    showStatusText();
    statusPane_->repaint();
}

// A text wider than the pane (a long alarm) ends in an ellipsis; its tooltip holds all of it.
void CMainFrame::showStatusText() {
    const int room =
        statusPane_->contentsRect().width() - 2 * statusPane_->margin() - 2 * statusPane_->indent();
    const QString shown =
        statusPane_->fontMetrics().elidedText(statusText_, Qt::ElideRight, qMax(0, room));
    statusPane_->setText(shown);
    statusPane_->setToolTip(shown == statusText_ ? QString() : statusText_);
}

void CMainFrame::setStatusPaneWidth(int width) {
    statusPane_->setFixedWidth(qMax(0, width));
    showStatusText();
}

void CMainFrame::setBackEnabled(bool enabled) {
    if (backButton_ != nullptr) {
        backButton_->setEnabled(enabled);
    }
}

void CMainFrame::setRecorderAttached(bool attached) {
    connectionPane_->setRecorderAttached(attached);
}

void CMainFrame::setAttachedCount(int count) {
    connectionPane_->setAttachedCount(count);
}

QStringList withMnemonics(const QStringList& captions) {
    QStringList marked;
    QString used;
    for (QString caption : captions) {
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        // The first letter of a word that no earlier item took, else any such letter.
        qsizetype at = -1;
        for (const bool wordStartsOnly : {true, false}) {
            for (qsizetype i = 0; i < caption.size() && at < 0; ++i) {
                const QChar c = caption[i];
                const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
                if (c.isLetterOrNumber() && (wordStart || !wordStartsOnly) &&
                    !used.contains(c.toLower())) {
                    at = i;
                }
            }
        }
        if (at >= 0) {
            used += caption[at].toLower();
            caption.insert(at, QLatin1Char('&'));
        }
        marked << caption;
    }
    return marked;
}

// Gives each action of one bar or menu its language string with a letter no other item there has.
static void applyMnemonics(const QList<std::pair<QAction*, int>>& items) {
    QStringList texts;
    for (const auto& [action, languageIndex] : items) {
        texts << qlang(languageIndex);
    }
    const QStringList marked = withMnemonics(texts);
    for (qsizetype i = 0; i < items.size(); ++i) {
        items[i].first->setText(marked[i]);
    }
}

void CMainFrame::applyLanguageToFrame() {
    useQtTranslations(CurrentLanguage::get());
    if (statusIdle_) { // nothing reported yet: the idle text in the new language
        statusText_ = qlang(text::kStatusIdle);
        showStatusText();
    }
    // Alt and a letter opens every item of the menu bar, and of each of its menus, in every
    // language.
    const auto item = [this](int commandId) {
        return std::pair(actions_.value(commandId), menuTextIndex(commandId));
    };
    applyMnemonics({item(command_id::kExport),
                    {settingMenuAction_, text::kSettings},
                    item(command_id::kClearPcData),
                    item(command_id::kLanguage),
                    {helpMenuAction_, text::kHelpMenu}});
    applyMnemonics({item(command_id::kSetting), item(command_id::kAlarmLimits),
                    item(command_id::kStatistics), item(command_id::kCompareRecorders)});
    applyMnemonics({item(command_id::kAbout)});
    // The toolbar's buttons are named by the texts of their menu items.
    for (QAction* action : toolBar_->actions()) {
        const int id = action->data().toInt();
        if (QAction* menuItem = actions_.value(id, nullptr); menuItem != nullptr && id != 0) {
            action->setToolTip(menuItem->iconText());
        }
    }
    backButton_->setToolTip(qlang(text::kBackTip));
    connectionPane_->applyLanguage();
    showTitle();
    menuBar()->update();
}

int CMainFrame::menuTextIndex(int commandId) {
    for (const MenuText& entry : kMenuTexts) {
        if (entry.commandId == commandId) {
            return entry.languageIndex;
        }
    }
    return -1;
}

void CMainFrame::showDocumentName(const QString& fileName) {
    documentName_ = fileName;
    showTitle();
}

void CMainFrame::showTitle() {
    // An opened file is named with the program, and marked as one that is only looked at.
    const QString program = qlang(text::kProgramTitle);
    setWindowTitle(
        documentName_.isEmpty()
            ? program
            : QStringLiteral("%1 (%2) - %3").arg(documentName_, qlang(text::kReadOnly), program));
}

void CMainFrame::savePlacement(QSettings& settings) const {
    // The position of the frame, as move() takes it; the size of its inside, as resize() does.
    const bool normal = !isMaximized() && !isMinimized() && !isFullScreen();
    settings.setValue(QLatin1String(kPositionKey), normal ? pos() : normalGeometry().topLeft());
    settings.setValue(QLatin1String(kSizeKey), normal ? size() : normalGeometry().size());
}

QRect fitIntoScreen(const QRect& wanted, const QRect& available) {
    QRect fitted(wanted.topLeft(), wanted.size().boundedTo(available.size()));
    // Moved only as far as needed for the whole window to lie on the screen.
    fitted.moveLeft(
        std::clamp(fitted.left(), available.left(), available.right() - fitted.width() + 1));
    fitted.moveTop(
        std::clamp(fitted.top(), available.top(), available.bottom() - fitted.height() + 1));
    return fitted;
}

void CMainFrame::restorePlacement(const QSettings& settings) {
    const QSize size = settings.value(QLatin1String(kSizeKey)).toSize();
    const QVariant position = settings.value(QLatin1String(kPositionKey));
    if (!size.isValid() || size.isEmpty()) {
        return; // nothing remembered: the default size
    }
    const QSize wanted = size;
    // A position on a screen that is no longer there leaves the window where the system puts it.
    const QScreen* onScreen = nullptr;
    if (position.isValid()) {
        const QRect placed(position.toPoint(), wanted);
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->availableGeometry().intersects(placed)) {
                onScreen = screen;
                break;
            }
        }
    }
    const QScreen* screen = onScreen != nullptr ? onScreen : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        resize(wanted);
        return;
    }
    // A size remembered at another scale or on a larger screen is fitted into this one, frame
    // and title bar included, so that no part (the status bar) lies off the screen.
    const QRect available = screen->availableGeometry();
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    const QRect fitted = fitIntoScreen(
        QRect(onScreen != nullptr ? position.toPoint() : available.topLeft(), wanted + frameExtra),
        available);
    resize(fitted.size() - frameExtra);
    if (onScreen != nullptr) {
        move(fitted.topLeft());
    }
}

void CMainFrame::restoreAndRaise() {
    setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) |
                   Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

bool CMainFrame::event(QEvent* event) {
    // Pane 0 shows only the program's own texts: menu and toolbar prompts never replace it.
    if (event->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::StatusTip || event->type() == QEvent::WhatsThis) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

QString droppedLocalFile(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            return url.toLocalFile();
        }
    }
    return QString();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !droppedLocalFile(event->mimeData()->urls()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString path = droppedLocalFile(event->mimeData()->urls());
    if (!path.isEmpty()) {
        event->acceptProposedAction();
        Q_EMIT fileDropped(path);
    }
}

} // namespace veldrin
