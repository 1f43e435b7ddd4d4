#pragma once

#include <QString>

// The program's private folder for temporary and cache files of the message views (thumbnails):
// in the user's cache folder, readable by the user only, never a guessable name in the shared /tmp.
// Created on first use; returns its absolute path.
QString msgPrivateTempDir();
