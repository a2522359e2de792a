#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

#include <cstdint>
#include <optional>

/// SHA-1 through the processor's SHA instructions where it has them, twice as fast as
/// QCryptographicHash, which does the work elsewhere: a book's identity hashes every byte of its
/// novel.
class Sha1 {
public:
    Sha1();

    void addData(QByteArrayView data);
    /// The 20-byte digest of everything added so far; more may be added after.
    QByteArray result() const;
    /// Whether this processor has the instructions.
    static bool accelerated();

private:
    struct State {
        std::uint32_t h[5];
        unsigned char block[64];
        size_t fill = 0;          // bytes waiting in `block`
        std::uint64_t length = 0; // bytes added
        void add(const unsigned char* p, size_t n);
    };

    std::optional<QCryptographicHash> m_elsewhere;
    State m_state;
};
