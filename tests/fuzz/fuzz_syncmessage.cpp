// The leader's state as a follower reads it: any text is refused or read
// into a state inside the bounds, and a state read encodes to a text that
// reads back to the same state.
#include "FuzzKit.h"

#include "sync/SyncMessage.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<SyncState> s = SyncMessage::Decode(text);
    if (!s)
        return 0;
    FUZZ_CHECK(text.size() <= SyncMessage::kMaxBytes);
    FUZZ_CHECK(s->Rate >= SyncMessage::kMinRate && s->Rate <= SyncMessage::kMaxRate);
    FUZZ_CHECK(!s->File.Name.contains(u'/') && s->Line.size() <= SyncMessage::kMaxLineChars);
    const std::optional<SyncState> again = SyncMessage::Decode(SyncMessage::Encode(*s));
    FUZZ_CHECK(again && SyncMessage::Encode(*again) == SyncMessage::Encode(*s));
    return 0;
}
