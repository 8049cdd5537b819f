// The "Quarrow Options" sheet: a tree of page paths beside the pages themselves. OK applies
// every page in tree order and stays open on the first page that refuses; Cancel applies
// nothing. The caller applies the output format again once the sheet has closed.
#pragma once

#include <QDialog>

#include "ui/OptionsPage.h"

class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarrow::ui {

class OptionsSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Quarrow Options";

    // The general pages, then the encoder pages, loaded from s.
    OptionsSheet(quarrow::CSettings& s, const PageContext& context, QWidget* parent = nullptr);
    // Any pages, in tree order (each page's path places it), loaded from s.
    OptionsSheet(quarrow::CSettings& s, PageList pages, QWidget* parent = nullptr);

    int pageCount() const { return static_cast<int>(pages_.size()); }
    OptionsPage* page(int index) const;
    int indexOf(const QString& path) const;
    int currentIndex() const;
    void showPage(int index);
    QTreeWidget* tree() const { return tree_; }
    QString caption() const;
    // After the "Output" page's Reset: "Output" and every "Encoder" page show the settings again.
    void reloadOutputPages();

    void accept() override;   // OK
    void reject() override;   // Cancel, Escape, the frame's close

private:
    void build();
    QTreeWidgetItem* itemFor(const QString& path);

    quarrow::CSettings& settings_;
    PageList pages_;
    std::vector<QTreeWidgetItem*> items_;   // per page
    QTreeWidget* tree_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QLabel* caption_ = nullptr;
};

}  // namespace quarrow::ui
