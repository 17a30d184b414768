#include "packer/payload/first_entry.h"

#include "packer/payload/entry_stream.h"

#include <algorithm>

namespace qarvel {
namespace {

// The first entry, up to head_bytes of it; wants no more after that.
class FirstEntry : public EntryVisitor {
  public:
    explicit FirstEntry(size_t head_bytes) : head_bytes_(head_bytes) {}
    void entry_begins(const EntryHeader& entry) override { name = entry.name; }
    void entry_content(const unsigned char* bytes, size_t size) override {
        size_t room = head_bytes_ - head.size();
        head.insert(head.end(), bytes, bytes + std::min(size, room));
    }
    void entry_ends(const EntryHeader&) override { ended_ = true; }
    bool wants_more() const override { return !ended_ && head.size() < head_bytes_; }

    std::u16string name;
    std::vector<unsigned char> head;

  private:
    size_t head_bytes_;
    bool ended_ = false;
};

} // namespace

std::vector<unsigned char> first_entry_head(const unsigned char* payload, uint64_t payload_bytes,
                                            size_t head_bytes, std::u16string* name) {
    FirstEntry first(head_bytes);
    PayloadReading reading(payload, payload_bytes);
    read_entry_stream(first);
    if (name != nullptr)
        *name = first.name;
    return first.head;
}

} // namespace qarvel
