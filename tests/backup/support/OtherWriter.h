#pragma once

#include <QProcess>
#include <QString>
#include <memory>

// Another program writing into a backup, as far as the folder's lock tells it.
namespace OtherWriter
{
// Holds the folder dir as a write does until the process's input closes (and never longer than
// 20 s, so that a wait the test cannot end still ends); null when it could not take the hold.
std::unique_ptr<QProcess> holdFolder(const QString& dir);
} // namespace OtherWriter
