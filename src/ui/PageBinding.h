// Binding helpers for the options pages. A PageForm lays controls out on a page; each
// control reads what it shows from the page model through small functions and writes
// every user edit straight back, after which the whole form is refreshed so that lists,
// selections, enabled states and captions always follow the model.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/OptionsPage.h"

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QWidget;

namespace quarrow {
struct PageResult;
}

namespace quarrow::ui {

using TextFn = std::function<std::string()>;
using ItemsFn = std::function<std::vector<std::string>()>;
using IntGet = std::function<int()>;
using IntSet = std::function<void(int)>;
using BoolGet = std::function<bool()>;
using BoolSet = std::function<void(bool)>;

class PageForm {
public:
    explicit PageForm(QWidget* page);

    // Controls go into the open group box, or straight onto the page.
    QGroupBox* beginGroup(const QString& title);
    void endGroup();

    QLabel* text(const QString& text);                 // fixed, word-wrapped
    void ends(const QString& left, const QString& right);   // the two ends of the control above
    QLabel* caption(TextFn text);                      // follows the model
    // A list with an optional label before it; get returns -1 for no selection.
    QComboBox* combo(const QString& label, ItemsFn items, IntGet get, IntSet set);
    QComboBox* combo(const QString& label, const std::vector<std::string>& items, int& field);
    QCheckBox* check(const QString& text, BoolGet get, BoolSet set);
    QCheckBox* check(const QString& text, bool& field);
    QCheckBox* check(const QString& text, int32_t& field);   // a 0/1 setting
    // Radio buttons of one choice; get returns the checked position.
    std::vector<QRadioButton*> radios(const QStringList& texts, IntGet get, IntSet set);
    // A slider with its caption above it.
    QSlider* slider(int min, int max, IntGet get, IntSet set, TextFn caption);
    QSpinBox* spin(const QString& label, int min, int max, IntGet get, IntSet set,
                   const QString& suffix = QString());
    QLineEdit* edit(const QString& label, std::function<std::string()> get,
                    std::function<void(const std::string&)> set, int maxLength);
    QPushButton* button(const QString& text, std::function<void()> clicked);
    void stretch();

    // The control is enabled exactly while on() holds.
    void enabledWhen(QWidget* widget, BoolGet on);
    void enabledWhen(const std::vector<QWidget*>& widgets, BoolGet on);

    // Every control shows the model again (no control reports this as an edit).
    void refresh();

private:
    QBoxLayout* target() const;
    // Runs a user's edit through to the model, then refreshes the form.
    void edited(const std::function<void()>& write);

    QWidget* page_;
    QBoxLayout* pageLayout_;
    QBoxLayout* groupLayout_ = nullptr;
    bool refreshing_ = false;
    std::vector<std::function<void()>> refreshers_;
};

// An options page over one page model (shared when several pages edit one record).
// Load and apply go through the model; a refusal shows the model's box text and logs
// its line.
template <class Model>
class ModelPage : public OptionsPage {
public:
    ModelPage(QString path, const PageContext& context, std::shared_ptr<Model> model)
        : OptionsPage(std::move(path), context), model(std::move(model)), form(this) {}

    void load(const quarrow::CSettings& s) override {
        model->Load(s);
        if (onLoad) onLoad(s);
        form.refresh();
    }
    bool apply(quarrow::CSettings& s) override {
        // Pages sharing one model each apply it whole: the same values, once the first has.
        if (!ReportResult(context(), model->Apply(s, context().refreshing()))) return false;
        if (afterApply) afterApply(s);
        return true;
    }

    std::shared_ptr<Model> model;
    PageForm form;
    std::function<void(const quarrow::CSettings&)> onLoad;
    std::function<void(quarrow::CSettings&)> afterApply;   // runs once the model applied
    std::function<void()> onShown;

protected:
    bool event(QEvent* event) override;
};

// Shows a refused page's box and logs its line; returns r.applied.
bool ReportResult(const PageContext& context, const quarrow::PageResult& r);

}  // namespace quarrow::ui

#include <QEvent>

// A page is shown when the sheet turns to it, whether or not the sheet is on screen yet.
template <class Model>
bool quarrow::ui::ModelPage<Model>::event(QEvent* event) {
    if (event->type() == QEvent::ShowToParent) {
        // A sibling page sharing the model may have changed it meanwhile.
        form.refresh();
        if (onShown) onShown();
    }
    return OptionsPage::event(event);
}
