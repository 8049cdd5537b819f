// The match dialog "Please select a CDDB result": one row per FreeDB match (disc ID, album,
// artist, genre), the first row selected. OK or a double-click takes a row, Cancel and the
// frame's close take the first one: some match is always read. It may stay up, busy,
// while the chosen match is read.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

class QDialogButtonBox;
class QTreeWidget;

namespace quarrow::ui {

class MatchDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Please select a CDDB result";
    static constexpr const char* kBusyCaption = "Retrieving the info, please wait...";
    using Row = std::array<std::string, 4>;   // disc ID, album, artist, genre

    explicit MatchDialog(const std::vector<Row>& rows, QWidget* parent = nullptr);

    // The row to read: the chosen one after OK or a double-click, 0 otherwise.
    int chosen() const { return chosen_; }
    QTreeWidget* list() const { return list_; }

    void accept() override;
    // Once chosen, closes at once (the window is closing, or the frame's close).
    void reject() override;

    // The choice goes to onChosen (the row; -1 for Cancel) and the dialog stays up with
    // the busy caption and its buttons off until endRead().
    void holdAfterChoice(std::function<void(int)> onChosen) { onChosen_ = std::move(onChosen); }
    void endRead();

private:
    void finish(int row, bool ok);

    QTreeWidget* list_;
    QDialogButtonBox* buttons_;
    int chosen_ = 0;
    bool answered_ = false;
    bool ok_ = false;
    std::function<void(int)> onChosen_;
};

// The columns of a match row "%08x  title  artist  category" as the lookup builds it. A
// title or artist may itself hold two blanks: matchColumns, when it lists as many matches
// as there are rows, decides; otherwise the first split wins.
std::vector<MatchDialog::Row> MatchRows(const std::vector<std::string>& lines,
                                        const std::vector<MatchDialog::Row>& matchColumns = {});

}  // namespace quarrow::ui
