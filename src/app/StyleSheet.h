#pragma once

#include <QString>

// The application style sheet (resource ":/res/style.css"), read on first use and kept.
// Empty when the resource cannot be opened; it is then tried again on the next call.
QString getStyleSheet();
