#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <memory>

class QIODevice;
struct evp_md_ctx_st;
struct XXH3_state_s;

// The size and a digest of bytes as they are written, so that a file is known again by its content
// wherever it is found: a copied or moved folder, or a drive that makes inode numbers up at each
// mount, keeps the content of a file but not its identity. New sums are XXH3-128, fast enough to be
// taken on manifests of hundreds of megabytes in the pass that copies them; SHA-256 remains to
// compare files with the sums of records written before.
class ContentDigest
{
public:
    enum class Kind { Xxh128, Sha256 };

    // What a digest found; size -1 while nothing is known.
    struct Sum {
        qint64 size = -1;
        Kind kind = Kind::Xxh128;
        QByteArray digest;

        bool known() const { return size >= 0; }
        bool operator==(const Sum& o) const
        {
            return known() && size == o.size && kind == o.kind && digest == o.digest;
        }
        bool operator!=(const Sum& o) const { return !(*this == o); }
        // "<size>:xxh128:<hex>" ("<size>:<sha256 in hex>" for a SHA-256), or "-" when unknown;
        // fromText gives an unknown sum for any other text.
        QByteArray text() const;
        static Sum fromText(const QByteArray& text);
    };

    explicit ContentDigest(Kind kind = Kind::Xxh128);
    ~ContentDigest();
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    void add(const char* data, qint64 size);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    // The sum of everything added; the digest starts again empty.
    Sum sum();

    // The sum of what is left to read in in; unknown when a read fails.
    static Sum of(QIODevice& in, Kind kind = Kind::Xxh128);

private:
    struct Free {
        void operator()(evp_md_ctx_st* c) const;
        void operator()(XXH3_state_s* s) const;
    };
    void reset();

    Kind m_kind;
    std::unique_ptr<evp_md_ctx_st, Free> m_sha;
    std::unique_ptr<XXH3_state_s, Free> m_xxh;
    qint64 m_size = 0;
};
