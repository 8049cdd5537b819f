// One page of the "Quarrow Options" sheet: a thin widget bound to one core page model.
// The sheet loads every page from the settings record, lets the user edit, and on OK asks
// each page to apply through its model (which refuses while a refresh runs).
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quarrow {
struct CSettings;
struct MainContext;
class Prompter;
class CEventLog;
}  // namespace quarrow

namespace quarrow::ui {

// What every page may need besides the settings record it edits.
struct PageContext {
    quarrow::Prompter* prompter = nullptr;   // boxes a page shows (never null once the sheet runs)
    quarrow::CEventLog* log = nullptr;       // may be null in tests
    quarrow::MainContext* main = nullptr;    // the open disc, for pages that read it; may be null
    std::function<bool()> refreshing;        // true while a disc refresh runs; never null
    std::string home;                        // the home folder (External/ programs live there)
};

class OptionsPage : public QWidget {
    Q_OBJECT
public:
    // path: the page's place in the tree, "::" between levels ("Encoder::MP3::VBR").
    OptionsPage(QString path, const PageContext& context, QWidget* parent = nullptr)
        : QWidget(parent), path_(std::move(path)), context_(context) {}
    const QString& path() const { return path_; }

    // The model loads from s and every widget shows the model.
    virtual void load(const quarrow::CSettings& s) = 0;
    // Widgets are already in the model (each widget writes through as the user edits);
    // the model applies to s. False when the page refused (its model showed the box).
    virtual bool apply(quarrow::CSettings& s) = 0;
    // The sheet was cancelled: most pages simply drop their edits.
    virtual void cancel(quarrow::CSettings& /*s*/) {}

protected:
    const PageContext& context() const { return context_; }

private:
    QString path_;
    PageContext context_;
};

using PageList = std::vector<std::unique_ptr<OptionsPage>>;

// The first pages of the sheet, in tree order: Output, FreeDB, FreeDB::Client, Driver.
PageList MakeGeneralPages(const PageContext& context);
// "Encoder" and every page below it, in tree order (Encoder, Encoder::WAV ... Encoder::Customized).
PageList MakeEncoderPages(const PageContext& context);

}  // namespace quarrow::ui
