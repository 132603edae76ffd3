#include "can/Mailboxes.h"

namespace halvern::sim {

void Mailboxes::put(const CanFrame& frame) {
  boxes_.insert_or_assign(Key{frame.bus, frame.id},
                          Mailbox{.frame = frame, .sequence = nextSequence_++, .read = false});
}

std::optional<CanFrame> Mailboxes::takeNewest(int32_t bus, const CanIdRange& wanted) {
  Mailbox* newest = nullptr;
  for (auto& [key, mailbox] : boxes_) {
    if (!mailbox.read && key.first == bus && wanted.contains(key.second) &&
        (newest == nullptr || mailbox.sequence > newest->sequence)) {
      newest = &mailbox;
    }
  }
  if (newest == nullptr) {
    return std::nullopt;
  }
  newest->read = true;
  return newest->frame;
}

}  // namespace halvern::sim
