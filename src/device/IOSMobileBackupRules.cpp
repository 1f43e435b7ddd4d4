#include "device/IOSMobileBackupRules.h"

#include "device/PlistCFType.h"

#include <QCoreApplication>

namespace
{
QString trBackup(const char* text)
{
    return QCoreApplication::translate("IOSMobileBackupThread", text);
}

QString trRestore(const char* text)
{
    return QCoreApplication::translate("IOSMobileRestoreThread", text);
}

PlistCFType readPlist(const QString& path)
{
    return PlistCFType::createCFPropertyListFromFile(path);
}

QString tutorialLink()
{
    return QStringLiteral(
        "<a href=\"%1/transfer-messages-from-to-iphone-with-itunes.html\"><b>tutorial</b></a>")
        .arg(QStringLiteral(QM_SERVICE_HOST));
}
} // namespace

bool IOSMobileBackupRules::keepEarlierBackup(const QDir& deviceDir, const QString& productVersion)
{
    if (!deviceDir.exists(QStringLiteral("Status.plist")))
        return false;
    if (!deviceDir.exists(QStringLiteral("Manifest.plist"))
        || !(deviceDir.exists(QStringLiteral("Manifest.mbdb"))
            || deviceDir.exists(QStringLiteral("Manifest.db"))))
        return false;
    const PlistCFType status = readPlist(deviceDir.absoluteFilePath(QStringLiteral("Status.plist")));
    if (status.get(QStringLiteral("SnapshotState")).toString() != QLatin1String("finished"))
        return false;
    const PlistCFType manifest = readPlist(deviceDir.absoluteFilePath(QStringLiteral("Manifest.plist")));
    return manifest.get(QStringLiteral("Lockdown")).get(QStringLiteral("ProductVersion")).toString()
        == productVersion;
}

QString IOSMobileBackupRules::backupFailureText(const QString& what, bool tutorialNote)
{
    QString msg = what;
    const bool lost = msg.contains(QLatin1String("Connection to device lost"), Qt::CaseInsensitive);
    if (lost || msg.contains(QLatin1String("until Setup is finished"), Qt::CaseInsensitive)) {
        msg = lost
            ? trBackup("Connection to device lost. Please try the following solutions: <br/><br/>")
            : trBackup("Failed to connect your iPhone. Please try the following solutions: <br/><br/>");
        msg += trBackup(
            "A:<br/>Step 1) Restart your iPhone.<br/>Step 2) Connect your iPhone to iTunes to backup "
            "your iPhone on computer. <br/>Step 3) Run Quillmarrow software to try again. <br/><br/>");
        msg += QCoreApplication::translate("IOSMobileBackupThread",
            "B:<br/>Step 1) Delete the lockdown folder from your computer.(<a href=\"%1\">How to</a>) "
            "<br/>Step 2) Connect your iPhone to iTunes to backup your iPhone on computer.<br/>Step 3) Run "
            "Quillmarrow software to try again. <br/>")
                   .arg(QStringLiteral(QM_SERVICE_HOST "/guides/reset-lockdown-in-itunes.php"));
    }
    if (tutorialNote)
        msg += trBackup("<br/><br/>Note: You can follow this %1 to try.").arg(tutorialLink());
    else
        msg += trBackup("<br/><br/>Note: You can restart your device to try again.");
    return msg;
}

QString IOSMobileBackupRules::restoreFailureText(const QString& what, bool tutorialNote)
{
    QString msg = what;
    if (tutorialNote)
        msg += trRestore("<br/><br/>Tip: You can follow this %1 to try.").arg(tutorialLink());
    else
        msg += trRestore("<br/><br/>Note: You can restart your device to try again.");
    return msg;
}

bool IOSMobileBackupRules::restoreNeedsFreshBackup(const QString& what)
{
    return what.contains(QLatin1String("MBErrorDomain/205"), Qt::CaseInsensitive);
}

bool IOSMobileBackupRules::isDeviceFolderName(const QString& udid)
{
    if (udid.isEmpty() || udid.size() > 128)
        return false;
    for (const QChar c : udid) {
        const bool ok
            = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-';
        if (!ok)
            return false;
    }
    return true;
}
