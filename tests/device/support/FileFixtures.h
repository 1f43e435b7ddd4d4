#pragma once

#include <QByteArray>
#include <QString>

// Small file helpers for tests that lay out folders on disk.

// Writes `data` to `path`, making the missing folders; a file that cannot be opened fails the test.
void putFile(const QString& path, const QByteArray& data = "x");
// The bytes of the file at `path`, or empty when it cannot be read.
QByteArray fileContents(const QString& path);
