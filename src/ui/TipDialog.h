// The Tip of the Day: one tip at a time from the tips file, "Next tip", and the
// "&Show tips on startup" box that OK writes to MISC/Tip.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;

namespace quarrow {
struct CSettings;
class CTipFile;
}

namespace quarrow::ui {

class TipDialog : public QDialog {
    Q_OBJECT
public:
    // tipsPath: the tips file (FindDataFile("Tips.tip", home)). homeFolder: where
    // Quarrow.ini lives; when given, OK also writes MISC/Tip into that file at once
    // (the settings' own save leaves that key to this dialog).
    TipDialog(quarrow::CSettings& settings, const std::string& tipsPath, QWidget* parent = nullptr,
              const std::string& homeFolder = {});
    ~TipDialog() override;

    QString TipText() const;
    bool ShowOnStartup() const;
    void SetShowOnStartup(bool on);

public slots:
    void NextTip();
    void accept() override;

private:
    quarrow::CSettings& settings_;
    std::string homeFolder_;
    std::unique_ptr<quarrow::CTipFile> tips_;
    QLabel* text_ = nullptr;
    QCheckBox* startup_ = nullptr;
};

}  // namespace quarrow::ui
