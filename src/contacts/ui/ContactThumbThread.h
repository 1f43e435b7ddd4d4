#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// Makes the small photos of the contacts list off the window's thread: a contact's photo, however
// crafted, is decoded here (within PictureDecoder's bounds), the rows asked last first. Each icon
// reaches the list by the queued signal iconReady. The thread holds copies of the photos it
// decodes and nothing of its list, so the list may go at any time: cancel() asks it to end without
// waiting for it (a decoding under way stops at its next read), and it deletes itself once ended.
class ContactThumbThread : public QThread
{
    Q_OBJECT
public:
    // photos: the photo of each row, as stored (empty: none); icons are width pixels wide.
    ContactThumbThread(QList<QByteArray> photos, int width);

    // Puts the rows at the front of the work, in the given order; a row is made once.
    void want(const QList<int>& rows);
    // Asks the thread to end, and returns at once; the thread deletes itself when it has ended.
    void cancel();

signals:
    // The row's photo, or the placeholder when it cannot be shown, width pixels wide.
    void iconReady(int row, const QImage& icon);

protected:
    void run() override;

private:
    bool takeNext(int* row);
    QImage iconOf(const QByteArray& photo) const;

    const QList<QByteArray> m_photos;
    const int m_width;
    std::mutex m_mutex; // guards the members below
    std::condition_variable m_wake;
    std::deque<int> m_queue;
    std::vector<bool> m_made; // per row: taken from the queue once
    bool m_stopping = false;
};
