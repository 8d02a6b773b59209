#pragma once
// The About box: the program icon, the version line and a second line from the language files,
// and a web link whose text and target whoever installs the program puts into main.ini.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <string>

namespace veldrin {

class CUserPrompts;
class HyperlinkStatic;

namespace about_id {
constexpr int kVersionText = 1027;
constexpr int kInfoText = 1028;
constexpr int kWebsiteText = 1029;
constexpr int kLink = 1000;
} // namespace about_id

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the link from section "Website", key "internet" of the main.ini at `mainIniPath`.
    AboutDialog(const std::string& mainIniPath, CUserPrompts& prompts, QWidget* parent = nullptr);

    HyperlinkStatic& link() { return *link_; }
    QLabel& label(int controlId) const;
    QPushButton& okButton() const { return *ok_; }

private:
    HyperlinkStatic* link_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* info_ = nullptr;
    QLabel* website_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace veldrin
