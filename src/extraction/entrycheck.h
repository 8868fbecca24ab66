#pragma once
// The check that ends a disk cache entry of version 3: XXH3-128 of every byte
// before it, kept as 16 bytes, the low half first, each half little-endian.

#include <QByteArray>
#include <QByteArrayView>
#include <cstddef>

namespace qm {

class EntryCheck {
  public:
    EntryCheck();
    void add(QByteArrayView bytes);
    // The check of the bytes added so far.
    QByteArray sum();

  private:
    alignas(64) unsigned char state_[576];  // XXH3's state, of that size and alignment
};

}  // namespace qm
