// The About box: the program's name and version, what it does, and the libraries it
// is built on.
#pragma once

#include <QString>

class QWidget;

namespace quarrow::ui {

// The text shown (rich text), separate so it can be checked without a window.
QString AboutText();

void ShowAboutBox(QWidget* parent);

}  // namespace quarrow::ui
