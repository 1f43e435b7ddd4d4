#pragma once

#include <QString>

// The program's private folder for temporary and cache files of the message views (thumbnails):
// in the user's cache folder, readable by the user only, never a guessable name in the shared /tmp.
// Created on first use; returns its absolute path. When it cannot be made, *why names the folder
// and the system's reason.
QString msgPrivateTempDir(QString* why = nullptr);
// Removes the thumbnails of message pictures kept there (CacheFiles::removeIn), and the card
// images of contacts sent in messages (VCardThumbnail::cacheDir()); false with *why as it says.
bool msgClearThumbnails(QString* why);
