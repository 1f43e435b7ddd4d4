#pragma once

#include <QDir>
#include <QString>

// Where the program keeps its data, and small path helpers. None of these throws; a folder that
// could not be made is told only to a caller that asks why.
//
// The product folder and the data folder are their owner's alone (mode 700): made so, and closed by
// the first g_dataSaveDir() call when found open (a failure is logged). A link standing at either
// name is the user's and is used as it is.
//
// Layout under the home folder:
//   Library/Application Support/                           g_osAppDir()
//     QuillMarrow/                                          g_defaultSaveDirPath()
//       7C2E41A9D05B38F6E19A4C7D2B60F853.redirect           optional: another base folder
//       7C2E41A9D05B38F6E19A4C7D2B60F853/                   g_dataSaveDir() (in the redirect target when
//       valid)
//         local_databases/                                  g_localDbDir()

// The data folder, worked out by the first g_dataSaveDir() call and kept until exit.
extern QString g_curDataSaveDirPath;

QDir g_osAppDir();
QString g_defaultSaveDirPath();
// The path named by the redirect file when something exists there, else empty.
QString g_dataSaveDirLink();
// Writes the redirect file; does nothing when its folder does not exist.
void g_setDataSaveDirLink(const QString& path);
// The data folder's path, worked out once; nothing is made (for the log, which lives there and is
// set up before the folder's first use).
QString g_dataSaveDirPath();
// The data folder, created (again) on every call. When it cannot be made, *why names the folder
// that could not be made and the system's reason ("Cannot make the folder %1: %2."); else empty.
QDir g_dataSaveDir(QString* why = nullptr);
// The folder of local databases inside the data folder, created when missing; *why as above.
QDir g_localDbDir(QString* why = nullptr);

// Deletes a folder tree from the folder it stands in, held (the user's own links on the way followed,
// another user's in a folder everyone may write into refused). Hidden entries (and the folders
// leading to them) stay; symbolic links are removed as links, never followed.
void g_delDirCascade(const QString& path);
// path when nothing exists there, else the first free "stem(n).suffix" beside it; a name over 255
// bytes is first cut before its extension, and a stem before its number (FileNameFit).
QString g_getValidFilePath(const QString& path);
// Hand a file, folder or web address to the desktop's opener; never through a shell. False when
// the desktop could not take it (no desktop session, no handler): the caller may tell the user.
bool g_openFileOrFolder(const QString& path);
bool g_openLink(const QString& address);
// The name without \ / : * ? " < > |, line feed, carriage return, tab or NUL, trimmed.
QString g_formatFileName(const QString& name);
// MD5 of the UTF-8 text as 32 lower-case hexadecimal digits.
QString g_pathHash(const QString& text);
// The folder "bubble" of the conversation view's assets: beside the executable when installed,
// else the one in the source tree (a build run where it was built); never the working directory.
QString g_bubbleDir();
