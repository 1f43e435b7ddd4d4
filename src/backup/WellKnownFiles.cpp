#include "backup/WellKnownFiles.h"

#include <QSet>
#include <algorithm>
#include <array>
#include <cstring>

namespace
{

enum class MediaKind { None, Photo, Video };

MediaKind mediaKind(const QByteArray& path)
{
    if (!path.startsWith("Media/DCIM/"))
        return MediaKind::None;
    const int dot = path.lastIndexOf('.');
    if (dot < 0)
        return MediaKind::None;
    const QByteArray ext = path.mid(dot + 1).toLower();
    static const QSet<QByteArray> photos
        = { "jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "bmp" };
    static const QSet<QByteArray> videos = { "mov", "mp4", "m4v", "3gp", "avi" };
    if (photos.contains(ext))
        return MediaKind::Photo;
    if (videos.contains(ext))
        return MediaKind::Video;
    return MediaKind::None;
}

// Files the data pages read, found while the tree is built (the first record of each).
struct KnownFile {
    const char* domain;
    const char* path;
    BackupManifest::_FileNode* BackupManifest::*member;
};
const KnownFile kKnownFiles[] = {
    { "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", &BackupManifest::addressBookNode },
    { "HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb",
        &BackupManifest::addressBookImagesNode },
    { "HomeDomain", "Library/Notes/notes.sqlite", &BackupManifest::notesNode },
    { "HomeDomain", "Library/Calendar/Extras.db", &BackupManifest::calendarExtrasNode },
    { "MediaDomain", "Media/Recordings/Recordings.db", &BackupManifest::recordingsNode },
    { "HomeDomain", "Library/Voicemail/voicemail.db", &BackupManifest::voicemailNode },
    { "HomeDomain", "Library/Safari/Bookmarks.db", &BackupManifest::bookmarksNode },
    { "WirelessDomain", "Library/CallHistory/call_history.db", &BackupManifest::callHistoryNode },
    { "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", &BackupManifest::callHistoryStoreNode },
    { "HomeDomain", "Library/SMS/sms.db", &BackupManifest::smsNode },
};
// Matched ignoring case.
constexpr QLatin1String kCalendarPath("Library/Calendar/Calendar.sqlitedb");

const std::array<qsizetype, std::size(kKnownFiles)>& knownLengths()
{
    static const auto lengths = [] {
        std::array<qsizetype, std::size(kKnownFiles)> l {};
        for (size_t i = 0; i < std::size(kKnownFiles); ++i)
            l[i] = qsizetype(std::strlen(kKnownFiles[i].path));
        return l;
    }();
    return lengths;
}

bool underKnownFolders(const QByteArray& path)
{
    return path.startsWith("Library/") || path.startsWith("Media/") || path.startsWith("library/");
}

} // namespace

bool WellKnownFiles::mayBe(const QByteArray& path)
{
    if (path.startsWith("Media/DCIM/"))
        return true;
    if (!underKnownFolders(path))
        return false;
    const auto& lengths = knownLengths();
    return path.size() == kCalendarPath.size()
        || std::find(lengths.begin(), lengths.end(), path.size()) != lengths.end();
}

void WellKnownFiles::note(BackupManifest& manifest, BackupManifest::_FileNode* node)
{
    const MBDBParser::_MBDBItem& it = node->item;
    const QByteArray& p = it.pathUtf8;
    if (it.isFolder())
        return;
    const MediaKind media = mediaKind(p);
    if (media == MediaKind::Photo)
        manifest.photoList.append(node);
    else if (media == MediaKind::Video)
        manifest.videoList.append(node);
    if (!underKnownFolders(p))
        return;
    for (size_t i = 0; i < std::size(kKnownFiles); ++i) {
        const KnownFile& k = kKnownFiles[i];
        if (p.size() == knownLengths()[i] && !(manifest.*k.member) && p == k.path
            && it.domain == QLatin1String(k.domain)) {
            manifest.*k.member = node;
            return;
        }
    }
    // The calendar is matched ignoring case, as its readers expect.
    if (!manifest.calendarNode && p.size() == kCalendarPath.size()
        && it.domain.compare(QLatin1String("HomeDomain"), Qt::CaseInsensitive) == 0
        && QString::fromUtf8(p).compare(kCalendarPath, Qt::CaseInsensitive) == 0)
        manifest.calendarNode = node;
}

void WellKnownFiles::clear(BackupManifest& manifest)
{
    for (const KnownFile& k : kKnownFiles)
        manifest.*k.member = nullptr;
    manifest.calendarNode = nullptr;
    manifest.photoList.clear();
    manifest.videoList.clear();
}
