#pragma once

#include <QString>

// Copies source to dest without ever losing what dest held: the bytes go to a temporary file in
// dest's folder first and replace dest by one rename only when complete. Copying a file onto
// itself leaves it as it is and succeeds. Returns false (dest unchanged) on any failure, with *why
// set to the path and the system's reason ("Cannot write <dest>: No space left on device", or
// "Cannot read <source>: ..." when the reads fail).
bool copyAttachmentFile(const QString& source, const QString& dest, QString* why);
