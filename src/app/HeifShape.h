#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <unordered_map>
#include <vector>

class QIODevice;

// What a HEIF file asks of its reader before any picture in it is decoded, read from its boxes
// alone: how many items it declares, how many pictures one grid is made of, and how many pixels
// decoding an item makes. libheif's work in reading a file grows faster than its items, and in
// decoding a grid with its tiles, each at the size its coded data says, so a file of a few
// kilobytes can ask for minutes and gigabytes: these counts are looked at first.
class HeifShape
{
public:
    // Reads the boxes of the file in (at its start; left at an undefined position). Counts that
    // could not be read stay 0: libheif then judges the file itself.
    explicit HeifShape(QIODevice& in);

    // Boxes at the top of the file, in its meta box, and in the item property container.
    qint64 boxes() const { return m_boxes; }
    // Entries of the item information box, and of the property associations.
    qint64 items() const { return m_items; }
    // References of the grid (or other derived picture) made of the most pictures.
    qint64 mostTiles() const { return m_mostTiles; }
    // The most pixels that decoding one item makes: a picture's own, at the larger of its declared
    // and its coded size, or for a grid (or other derived picture) those of all the pictures it is
    // made of together when that is more. Beyond what can be counted: the largest qint64.
    qint64 mostPixels() const;

private:
    struct Box {
        quint32 type = 0;
        qint64 body = 0; // where its content starts
        qint64 end = 0;
    };
    struct Property {
        qint64 pixels = 0;
        int lengthSize = 0; // of coded data's NAL units: an HEVC configuration's
    };
    struct Extent {
        qint64 offset = 0;
        qint64 length = 0;
    };
    bool next(qint64 at, qint64 limit, Box* box);
    bool readAt(qint64 at, char* data, int size);
    quint32 be(const char* data, int size) const;
    void readMeta(const Box& meta);
    void readReferences(const Box& iref);
    void readProperties(const Box& iprp);
    qint64 fullBoxValue(const Box& box, int size0, int size1);
    QByteArray readBody(const Box& box, qint64 most);
    void readProperty(const Box& property);
    void readAssociations(const Box& ipma);
    qint64 pixelsOf(quint32 item, int depth, std::unordered_map<quint32, qint64>& known) const;
    void readLocations(const Box& iloc, const Box& idat);
    bool readExtents(const std::vector<Extent>& extents, qint64 at, char* data, qint64 size);
    qint64 inBandPixels(const std::vector<Extent>& extents, int lengthSize);

    QIODevice& m_in;
    qint64 m_boxes = 0;
    qint64 m_items = 0;
    qint64 m_mostTiles = 0;
    qint64 m_references = 0; // of grids, read
    bool m_uncounted = false;
    qint64 m_units = 0; // NAL units looked at
    std::vector<Property> m_properties; // by their place in their container
    std::unordered_map<quint32, qint64> m_itemPixels;
    std::unordered_map<quint32, int> m_coded; // items of HEVC data: the size of its NAL lengths
    std::unordered_map<quint32, std::vector<Extent>> m_locations;
    std::unordered_map<quint32, std::vector<quint32>> m_tiles; // of each derived picture
};
