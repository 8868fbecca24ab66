#include "extraction/entrycheck.h"

#define XXH_INLINE_ALL  // the check's loop built here, for this processor
#include <xxhash.h>

namespace qm {

static_assert(sizeof(XXH3_state_t) <= sizeof(EntryCheck) && alignof(XXH3_state_t) <= 64,
              "XXH3's state fits the room kept for it");

namespace {
XXH3_state_t* state(unsigned char* room) {
    return reinterpret_cast<XXH3_state_t*>(room);
}
}  // namespace

EntryCheck::EntryCheck() {
    XXH3_INITSTATE(state(state_));
    XXH3_128bits_reset(state(state_));
}

void EntryCheck::add(QByteArrayView bytes) {
    XXH3_128bits_update(state(state_), bytes.data(), static_cast<std::size_t>(bytes.size()));
}

QByteArray EntryCheck::sum() {
    const XXH128_hash_t h = XXH3_128bits_digest(state(state_));
    QByteArray out;
    out.reserve(16);
    for (const std::uint64_t half : {h.low64, h.high64})
        for (int i = 0; i < 8; ++i) out.append(static_cast<char>((half >> (8 * i)) & 0xFF));
    return out;
}

}  // namespace qm
