#include "ui/PageBinding.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "encoders/FormatPages.h"

namespace quarrow::ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QStringList ToList(const std::vector<std::string>& items) {
    QStringList out;
    for (const std::string& s : items) out << Q(s);
    return out;
}

// Marks a widget that holds one control with its label or caption: they are enabled together.
const char* const kRowProperty = "quarrowControlRow";

// A label beside its control, or the control alone.
QWidget* Labelled(const QString& label, QWidget* control, QWidget* parent) {
    if (label.isEmpty()) return control;
    auto* row = new QWidget(parent);
    row->setProperty(kRowProperty, true);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* l = new QLabel(label, row);
    l->setBuddy(control);
    layout->addWidget(l);
    layout->addWidget(control, 1);
    return row;
}

}  // namespace

PageForm::PageForm(QWidget* page) : page_(page), pageLayout_(new QVBoxLayout(page)) {}

QBoxLayout* PageForm::target() const { return groupLayout_ ? groupLayout_ : pageLayout_; }

void PageForm::edited(const std::function<void()>& write) {
    if (refreshing_) return;
    write();
    refresh();
}

void PageForm::refresh() {
    refreshing_ = true;
    for (const auto& r : refreshers_) r();
    refreshing_ = false;
}

QGroupBox* PageForm::beginGroup(const QString& title) {
    auto* box = new QGroupBox(title, page_);
    pageLayout_->addWidget(box);
    groupLayout_ = new QVBoxLayout(box);
    return box;
}

void PageForm::endGroup() { groupLayout_ = nullptr; }

QLabel* PageForm::text(const QString& text) {
    auto* label = new QLabel(text, page_);
    label->setWordWrap(true);
    target()->addWidget(label);
    return label;
}

void PageForm::ends(const QString& left, const QString& right) {
    auto* row = new QWidget(page_);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(left, row));
    layout->addStretch(1);
    layout->addWidget(new QLabel(right, row));
    target()->addWidget(row);
}

QLabel* PageForm::caption(TextFn text) {
    auto* label = new QLabel(page_);
    label->setWordWrap(true);
    target()->addWidget(label);
    refreshers_.push_back([label, text] { label->setText(Q(text())); });
    return label;
}

QComboBox* PageForm::combo(const QString& label, ItemsFn items, IntGet get, IntSet set) {
    auto* box = new QComboBox(page_);
    target()->addWidget(Labelled(label, box, page_));
    refreshers_.push_back([box, items, get] {
        const QStringList wanted = ToList(items());
        QStringList shown;
        for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
        if (shown != wanted) {
            box->clear();
            box->addItems(wanted);
        }
        const int sel = get();
        box->setCurrentIndex(sel >= 0 && sel < box->count() ? sel : -1);
    });
    QObject::connect(box, &QComboBox::currentIndexChanged, page_, [this, set](int i) {
        if (i >= 0) edited([&] { set(i); });
    });
    return box;
}

QComboBox* PageForm::combo(const QString& label, const std::vector<std::string>& items, int& field) {
    return combo(label, [items] { return items; }, [&field] { return field; }, [&field](int i) { field = i; });
}

QCheckBox* PageForm::check(const QString& text, BoolGet get, BoolSet set) {
    auto* box = new QCheckBox(text, page_);
    target()->addWidget(box);
    refreshers_.push_back([box, get] { box->setChecked(get()); });
    QObject::connect(box, &QCheckBox::toggled, page_, [this, set](bool on) { edited([&] { set(on); }); });
    return box;
}

QCheckBox* PageForm::check(const QString& text, bool& field) {
    return check(text, [&field] { return field; }, [&field](bool on) { field = on; });
}

QCheckBox* PageForm::check(const QString& text, int32_t& field) {
    return check(text, [&field] { return field != 0; }, [&field](bool on) { field = on ? 1 : 0; });
}

std::vector<QRadioButton*> PageForm::radios(const QStringList& texts, IntGet get, IntSet set) {
    std::vector<QRadioButton*> buttons;
    auto* group = new QButtonGroup(page_);
    for (int i = 0; i < texts.size(); ++i) {
        auto* b = new QRadioButton(texts[i], page_);
        group->addButton(b, i);
        target()->addWidget(b);
        buttons.push_back(b);
        QObject::connect(b, &QRadioButton::toggled, page_, [this, set, i](bool on) {
            if (on) edited([&] { set(i); });
        });
    }
    refreshers_.push_back([group, buttons, get] {
        const int sel = get();
        // An exclusive group cannot show "none checked" otherwise.
        group->setExclusive(false);
        for (int i = 0; i < static_cast<int>(buttons.size()); ++i) buttons[static_cast<std::size_t>(i)]->setChecked(i == sel);
        group->setExclusive(true);
    });
    return buttons;
}

QSlider* PageForm::slider(int min, int max, IntGet get, IntSet set, TextFn caption) {
    auto* row = new QWidget(page_);
    row->setProperty(kRowProperty, true);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    if (caption) {
        auto* label = new QLabel(row);
        layout->addWidget(label);
        refreshers_.push_back([label, caption] { label->setText(Q(caption())); });
    }
    auto* s = new QSlider(Qt::Horizontal, row);
    s->setRange(min, max);
    s->setPageStep(std::max(1, (max - min) / 10));
    layout->addWidget(s);
    target()->addWidget(row);
    refreshers_.push_back([s, get] { s->setValue(get()); });
    QObject::connect(s, &QSlider::valueChanged, page_, [this, set](int v) { edited([&] { set(v); }); });
    return s;
}

QSpinBox* PageForm::spin(const QString& label, int min, int max, IntGet get, IntSet set, const QString& suffix) {
    auto* s = new QSpinBox(page_);
    s->setRange(min, max);
    s->setSuffix(suffix);
    target()->addWidget(Labelled(label, s, page_));
    refreshers_.push_back([s, get] { s->setValue(get()); });
    QObject::connect(s, &QSpinBox::valueChanged, page_, [this, set](int v) { edited([&] { set(v); }); });
    return s;
}

QLineEdit* PageForm::edit(const QString& label, std::function<std::string()> get,
                          std::function<void(const std::string&)> set, int maxLength) {
    auto* e = new QLineEdit(page_);
    e->setMaxLength(maxLength);
    target()->addWidget(Labelled(label, e, page_));
    refreshers_.push_back([e, get] {
        const QString text = Q(get());
        if (e->text() != text) e->setText(text);
    });
    QObject::connect(e, &QLineEdit::textChanged, page_, [this, set](const QString& t) {
        edited([&] { set(t.toStdString()); });
    });
    return e;
}

QPushButton* PageForm::button(const QString& text, std::function<void()> clicked) {
    auto* b = new QPushButton(text, page_);
    target()->addWidget(b);
    QObject::connect(b, &QPushButton::clicked, page_, [this, clicked] { edited(clicked); });
    return b;
}

void PageForm::stretch() { pageLayout_->addStretch(1); }

void PageForm::enabledWhen(QWidget* widget, BoolGet on) { enabledWhen(std::vector<QWidget*>{widget}, std::move(on)); }

void PageForm::enabledWhen(const std::vector<QWidget*>& widgets, BoolGet on) {
    refreshers_.push_back([widgets, on] {
        const bool enabled = on();
        for (QWidget* w : widgets) {
            QWidget* row = w->parentWidget();
            if (row != nullptr && row->property(kRowProperty).toBool()) row->setEnabled(enabled);
            w->setEnabled(enabled);
        }
    });
}

bool ReportResult(const PageContext& context, const quarrow::PageResult& r) {
    if (r.applied) return true;
    if (!r.message.empty() && context.prompter) context.prompter->Message(r.message, MessageIcon::Warning);
    if (!r.logLine.empty() && context.log) context.log->Add(r.logLine, 1);
    return false;
}

}  // namespace quarrow::ui
