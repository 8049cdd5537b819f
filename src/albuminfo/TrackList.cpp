#include "albuminfo/TrackList.h"

#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "app/TrackKey.h"

namespace quarrow {

namespace {

bool DiscPresent(const MainContext& ctx) {
    return ctx.grabber.DriveCount() > 0 && ctx.grabber.Drive().DiscState() != kNoDisc;
}

TrackRow* RowAt(MainContext& ctx, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= ctx.rows.size()) return nullptr;
    return &ctx.rows[static_cast<std::size_t>(row)];
}

}  // namespace

bool SetRowChecked(MainContext& ctx, int row, bool checked) {
    TrackRow* r = RowAt(ctx, row);
    if (!r) return false;
    if (checked && !IsAudioKey(r->key)) {
        ctx.prompter.Message(kOnlyAudioCheckable, MessageIcon::Warning);
        ctx.log.Add(kOnlyAudioCheckableLog, 1);
        r->checked = false;
        return false;
    }
    r->checked = checked;
    return checked;
}

void CheckSelected(MainContext& ctx, int selected) {
    if (TrackRow* r = RowAt(ctx, selected); r && !r->checked && IsAudioKey(r->key)) r->checked = true;
}

void UncheckSelected(MainContext& ctx, int selected) {
    if (TrackRow* r = RowAt(ctx, selected)) r->checked = false;
}

void CheckAll(MainContext& ctx) {
    if (!DiscPresent(ctx)) return;
    for (TrackRow& r : ctx.rows)
        if (IsAudioKey(r.key)) r.checked = true;
}

void UncheckAll(MainContext& ctx) {
    if (!DiscPresent(ctx)) return;
    for (TrackRow& r : ctx.rows) r.checked = false;
}

void ReverseCheck(MainContext& ctx) {
    if (!DiscPresent(ctx)) return;
    for (TrackRow& r : ctx.rows) r.checked = IsAudioKey(r.key) && !r.checked;
}

bool SelectNextChecked(MainContext& ctx, int start, bool testOnly) {
    for (std::size_t i = static_cast<std::size_t>(start < -1 ? 0 : start + 1); i < ctx.rows.size(); ++i) {
        if (!ctx.rows[i].checked) continue;
        if (!testOnly) {
            SelectTrackByKey(ctx.grabber.Drive(), ctx.rows[i].key);
            ctx.currentItem = static_cast<int>(i);
        }
        return true;
    }
    return false;
}

bool SelectSelectedItem(MainContext& ctx, int selected) {
    const TrackRow* r = RowAt(ctx, selected);
    if (!r) {
        ctx.prompter.Message(kNoAudioTrackSelected, MessageIcon::None);
        return false;
    }
    if (!IsAudioKey(r->key)) {
        ctx.prompter.Message(kNotAnAudioTrackRow, MessageIcon::Error);
        return false;
    }
    SelectTrackByKey(ctx.grabber.Drive(), r->key);
    ctx.currentItem = selected;
    return true;
}

bool BeginEditTitle(MainContext& ctx, int selected) {
    if (RowAt(ctx, selected)) return true;
    ctx.prompter.Message(kSelectTrackFirst, MessageIcon::Warning);
    return false;
}

bool GetIsrcEnabled(const MainContext& ctx) {
    if (!DiscPresent(ctx) || !ctx.isrcs.empty()) return false;
    const int i = ctx.currentItem;
    return i >= 0 && static_cast<std::size_t>(i) < ctx.rows.size() &&
           IsAudioKey(ctx.rows[static_cast<std::size_t>(i)].key);
}

bool GetIsrc(MainContext& ctx) {
    if (!GetIsrcEnabled(ctx)) return false;
    ctx.isrcWanted = true;
    return true;
}

DoubleClickAction OnDoubleClick(MainContext& ctx, const DoubleClickAsk& ask) {
    int action = ctx.settings.MISC.DbClk;
    if (action == -1) {
        DoubleClickChoice choice;
        if (ask) choice = ask();
        else choice.action = ctx.prompter.PickOne(kDoubleClickQuestion, {kPlayTheTrack, kRipTheTrack});
        if (choice.action != 0 && choice.action != 1) return DoubleClickAction::None;
        if (choice.remember) ctx.settings.MISC.DbClk = static_cast<int16_t>(choice.action);
        action = choice.action;
    }
    return action == 0 ? DoubleClickAction::Play : action == 1 ? DoubleClickAction::Rip : DoubleClickAction::None;
}

void OnStatusMessage(MainContext& ctx, const std::string& text, int kind) {
    if (kind >= 0 && kind <= 2) {
        ctx.log.Add(text, kind);
    } else if (kind == 3) {
        if (TrackRow* r = RowAt(ctx, ctx.currentItem)) r->status = text;
    } else if (kind == 4) {
        for (TrackRow& r : ctx.rows) r.status.clear();
    }
}

}  // namespace quarrow
