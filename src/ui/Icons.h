// The window's icons, painted in code so that no icon theme or image plugin is needed
// and every size is drawn for itself (crisp at 16, 24 and 32 pixels).
#pragma once

#include <QIcon>
#include <QStringList>

namespace quarrow::ui {

// The icon of that name (rip-range, rip-image, rip-all, rip-checked, rip-selected,
// edit-cd, help, stop, previous, play, pause, next, eject, homepage, about, format,
// options, log, refresh, quarrow); a null icon for any other name.
QIcon QuarrowIcon(const QString& name);

// Every name QuarrowIcon knows.
QStringList QuarrowIconNames();

}  // namespace quarrow::ui
