#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <memory>

class QIODevice;
struct evp_md_ctx_st;

// The size and SHA-256 of bytes as they are written, so that a file is known again by its content
// wherever it is found: a copied or moved folder, or a drive that makes inode numbers up at each
// mount, keeps the content of a file but not its identity.
class ContentDigest
{
public:
    // What a digest found; size -1 while nothing is known.
    struct Sum {
        qint64 size = -1;
        QByteArray sha256;

        bool known() const { return size >= 0; }
        bool operator==(const Sum& o) const { return known() && size == o.size && sha256 == o.sha256; }
        bool operator!=(const Sum& o) const { return !(*this == o); }
        // "<size>:<sha256 in hex>", or "-" when unknown; fromText gives an unknown sum for any other text.
        QByteArray text() const;
        static Sum fromText(const QByteArray& text);
    };

    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    void add(const char* data, qint64 size);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    // The sum of everything added; the digest starts again empty.
    Sum sum();

    // The sum of what is left to read in in; unknown when a read fails.
    static Sum of(QIODevice& in);

private:
    struct Free {
        void operator()(evp_md_ctx_st* c) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_ctx;
    qint64 m_size = 0;
};
