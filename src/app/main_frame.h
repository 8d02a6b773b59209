#pragma once
// The program's one top-level window: menu, toolbar, the main view and the status bar, whose left
// pane carries the progress texts and whose right pane shows whether a recorder is attached.

#include "view/veldrin_view.h"

#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMap>

class QSettings;
class QToolBar;

namespace veldrin {

namespace frame_id {
constexpr int kToolBar = 59392;
constexpr int kStatusBar = 59393;
constexpr int kIndicator = 59144;
constexpr int kSave = 57603;
constexpr int kHelpMenuPosition = 5;
constexpr int kMenuItemCount = 6;
constexpr int kStatusPaneMargin = 150; // pane 0 = client width minus this
constexpr int kConnectionPaneWidth = 80;
constexpr int kInitialWidth = 900;
constexpr int kInitialHeight = 660;
} // namespace frame_id

// Status pane 1: the picture of the attached or missing recorder, stretched over the pane, with
// the number of recorders attached on it when there are several; its tooltip says how many.
class CConnectionPane : public QWidget {
    Q_OBJECT
public:
    explicit CConnectionPane(QWidget* parent = nullptr);
    void setRecorderAttached(bool attached) { setAttachedCount(attached ? 1 : 0); }
    bool recorderAttached() const { return count_ > 0; }
    void setAttachedCount(int count);
    int attachedCount() const { return count_; }
    // The tooltip in the current language.
    void applyLanguage();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int count_ = 0;
    QImage noRecorder_;
    QImage recorder_;
};

class CMainFrame : public QMainWindow, public CFrameServices {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The action of a menu or toolbar command (also New, Open and Save), or null.
    QAction* commandAction(int commandId) const;
    QToolBar* toolBar() const { return toolBar_; }
    QLabel* statusPane() const { return statusPane_; }
    CConnectionPane* connectionPane() const { return connectionPane_; }

    // CFrameServices
    void setStatusText(const QString& text) override;
    void setStatusPaneWidth(int width) override;
    void setBackEnabled(bool enabled) override;
    void setRecorderAttached(bool attached) override;
    void setAttachedCount(int count) override;
    void applyLanguageToFrame() override;
    void showDocumentName(const QString& fileName) override;

    // Size and position of the window in the user's settings; a position off every screen is
    // not taken.
    void savePlacement(QSettings& settings) const;
    void restorePlacement(const QSettings& settings);

    // Brings the window back from minimised or maximised and to the front.
    void restoreAndRaise();

Q_SIGNALS:
    // A menu, toolbar or keyboard command, by its number.
    void commandRequested(int commandId);
    // A file dropped on the window.
    void fileDropped(const QString& path);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* makeAction(int commandId, const QString& text);
    void createMenu();
    void createToolBar();
    void createStatusBar();
    void createKeyboardCommands();
    void showTitle();
    static int menuTextIndex(int commandId);

    QMap<int, QAction*> actions_;
    QAction* helpMenuAction_ = nullptr;
    QAction* backButton_ = nullptr;
    QAction* settingMenuAction_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    void showStatusText();

    QLabel* statusPane_ = nullptr;
    QString statusText_;     // whole, however narrow the pane
    bool statusIdle_ = true; // nothing reported yet: the idle text, in the current language
    CConnectionPane* connectionPane_ = nullptr;
    QString documentName_;
};

// The captions with a keyboard mnemonic each ('&' before a letter), no two on the same letter
// (case ignored); an '&' of a caption itself is doubled.
QStringList withMnemonics(const QStringList& captions);

// A window rectangle (frame included) no larger than the available screen area and moved only as
// far as needed to lie inside it.
QRect fitIntoScreen(const QRect& wanted, const QRect& available);

// The first local file among dropped URLs; empty when there is none.
QString droppedLocalFile(const QList<QUrl>& urls);

} // namespace veldrin
