#include "packer/payload/payload_inspection.h"

#include "format/payload_format.h"
#include "packer/files/host_files.h"
#include "packer/files/open_folder.h"
#include "packer/files/temporary_file.h"
#include "packer/files/utf16.h"
#include "packer/payload/app_folder.h"
#include "packer/payload/entry_name.h"
#include "packer/payload/file_checksum.h"
#include "packer/payload/payload_locator.h"
#include "packer/payload/printable_name.h"
#include "payload/payload_reader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <vector>
#include <zlib.h>

// ZSTD_getFrameHeader is in zstd's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIx32, value);
    return text;
}

std::string describe(size_t index, const std::u16string& name) {
    return "entry " + std::to_string(index) + " '" + printable_name(name) + "'";
}

uint32_t update_crc(uint32_t crc, const unsigned char* bytes, size_t size) {
    return static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(size)));
}

// Where the reading is in the entry stream, to say where a fault lies.
class StreamPlace : public StreamPosition {
  public:
    void entry_begins(const EntryHeader& entry) {
        ++index_;
        name_ = entry.name;
        inside_ = true;
    }
    void entry_ends() { inside_ = false; }

    size_t index() const { return index_; }
    std::string entry() const { return describe(index_, name_); }
    std::string here() const override {
        if (inside_)
            return entry();
        return index_ == 0 ? "before the first entry" : "after " + entry();
    }

  private:
    size_t index_ = 0;
    std::u16string name_;
    bool inside_ = false;
};

// Why an entry whose content has this CRC-32 does not hold what its stored
// checksum says, by the launcher's rule; empty when it does.
std::string checksum_fault(const StreamPlace& place, const EntryHeader& entry, uint32_t crc) {
    if (entry.checksum == payload_format::stored_checksum(crc))
        return "";
    if (entry.checksum == 0)
        return place.entry() +
               ": checksum 0 is stored; the launcher would take a missing or empty file for up "
               "to date and never write this one";
    return place.entry() + ": stored checksum " + hex32(entry.checksum) +
           " does not match the content's CRC-32 " + hex32(crc);
}

class ListVisitor : public EntryVisitor {
  public:
    explicit ListVisitor(const std::function<void(const EntryHeader&)>& show) : show_(show) {}
    void entry_begins(const EntryHeader& entry) override {
        place_.entry_begins(entry);
        show_(entry);
    }
    void entry_content(const unsigned char*, size_t) override {}
    void entry_ends(const EntryHeader&) override { place_.entry_ends(); }
    const StreamPlace& place() const { return place_; }

  private:
    const std::function<void(const EntryHeader&)>& show_;
    StreamPlace place_;
};

// Checks each entry as it passes; the first fault stops the reading.
class VerifyVisitor : public EntryVisitor {
  public:
    explicit VerifyVisitor(const std::string& file) : file_(file) {}
    void entry_begins(const EntryHeader& entry) override {
        place_.entry_begins(entry);
        std::string problem = entry_name_problem(entry.name);
        if (!problem.empty())
            throw Refusal(file_, place_.entry() + ": the name " + problem);
        names_.push_back(entry.name);
        headers_.push_back(entry);
        crc_ = 0;
    }

    void entry_content(const unsigned char* bytes, size_t size) override {
        crc_ = update_crc(crc_, bytes, size);
    }

    void entry_ends(const EntryHeader& entry) override {
        place_.entry_ends();
        content_bytes_ += entry.size;
        std::string fault = checksum_fault(place_, entry, crc_);
        if (!fault.empty())
            throw Refusal(file_, fault);
    }

    const StreamPlace& place() const { return place_; }
    size_t entries() const { return place_.index(); }
    uint64_t content_bytes() const { return content_bytes_; }
    const std::vector<std::u16string>& names() const { return names_; }
    std::vector<EntryHeader>& headers() { return headers_; }

  private:
    const std::string& file_;
    StreamPlace place_;
    uint32_t crc_ = 0;
    uint64_t content_bytes_ = 0;
    std::vector<std::u16string> names_;
    std::vector<EntryHeader> headers_;
};

std::string frame_header_fault(const unsigned char* payload, uint64_t payload_bytes) {
    if (payload_bytes < payload_format::header_bytes ||
        !std::equal(payload_format::header, payload_format::header + payload_format::header_bytes,
                    payload))
        return "the payload does not start with the header \"ZOQ\"";
    ZSTD_frameHeader header{};
    size_t result = ZSTD_getFrameHeader(&header, payload + payload_format::header_bytes,
                                        payload_bytes - payload_format::header_bytes);
    if (ZSTD_isError(result) || result != 0)
        return "no zstd frame follows the header";
    if (header.frameType != ZSTD_frame)
        return "a skippable frame follows the header, not a zstd frame";
    if (header.dictID != 0)
        return "the frame names dictionary " + std::to_string(header.dictID) +
               ", and the launcher has none";
    if (header.windowSize > (uint64_t{1} << payload_format::max_window_log))
        return "the frame's window of " + std::to_string(header.windowSize) +
               " bytes is above the launcher's limit of 2^27";
    return "";
}

std::string tail_fault(const unsigned char* payload, uint64_t payload_bytes) {
    uint64_t frame_end = frame_end_offset(payload, payload_bytes);
    if (frame_end == 0)
        return "the zstd frame is not complete";
    if (payload_bytes < frame_end + payload_format::trailer_bytes)
        return "the payload ends without a trailer after the frame";
    uint64_t trailer_at = payload_bytes - payload_format::trailer_bytes;
    for (uint64_t at = frame_end; at < trailer_at; ++at)
        if (payload[at] != 0)
            return "the byte at offset " + std::to_string(at) +
                   ", between the frame and the trailer, is not zero";
    if (trailer_at % payload_format::trailer_alignment != 0)
        return "the trailer's offset " + std::to_string(trailer_at) + " is not a multiple of 8";
    uint64_t trailer = payload_format::get_u64_le(payload + trailer_at);
    if (trailer != trailer_at)
        return "the trailer holds " + std::to_string(trailer) + ", not its own offset " +
               std::to_string(trailer_at);
    return "";
}

// Whether the frame decodes to more than the stream_bytes read up to the end
// marker: by its recorded content size, or where it records none, by
// decoding it apart from the launcher's reader.
bool frame_holds_more(const unsigned char* payload, uint64_t payload_bytes, uint64_t stream_bytes) {
    const unsigned char* frame = payload + payload_format::header_bytes;
    const size_t frame_bytes = static_cast<size_t>(payload_bytes - payload_format::header_bytes);
    unsigned long long recorded = ZSTD_getFrameContentSize(frame, frame_bytes);
    if (recorded != ZSTD_CONTENTSIZE_UNKNOWN && recorded != ZSTD_CONTENTSIZE_ERROR)
        return recorded > stream_bytes;
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    if (!context)
        throw std::bad_alloc();
    std::vector<unsigned char> buffer(ZSTD_DStreamOutSize());
    ZSTD_inBuffer in{frame, frame_bytes, 0};
    uint64_t decoded = 0;
    while (decoded <= stream_bytes) {
        ZSTD_outBuffer out{buffer.data(), buffer.size(), 0};
        size_t result = ZSTD_decompressStream(context.get(), &out, &in);
        if (ZSTD_isError(result))
            return false; // the reader read up to the end marker; tail_fault judges the rest
        decoded += out.pos;
        if (result == 0 || (out.pos == 0 && in.pos == in.size))
            break;
    }
    return decoded > stream_bytes;
}

} // namespace

void list_payload(const unsigned char* payload, uint64_t payload_bytes, const std::string& file,
                  const std::function<void(const EntryHeader&)>& show) {
    PayloadReading reading(payload, payload_bytes);
    ListVisitor visitor(show);
    read_entry_stream(visitor, file, visitor.place());
}

PayloadSummary verify_payload(const unsigned char* payload, uint64_t payload_bytes,
                              const std::string& file) {
    std::string fault = frame_header_fault(payload, payload_bytes);
    if (!fault.empty())
        throw Refusal(file, fault);

    VerifyVisitor visitor(file);
    uint64_t stream_bytes = 0;
    {
        PayloadReading reading(payload, payload_bytes);
        stream_bytes = read_entry_stream(visitor, file, visitor.place());
    }
    // Nothing may follow the end marker.
    if (frame_holds_more(payload, payload_bytes, stream_bytes))
        throw Refusal(file, "the frame holds more content after the end marker");
    if (visitor.entries() == 0)
        throw Refusal(file,
                      "the payload holds no entries, so there is no main executable to start");
    fault = find_name_clash(visitor.names());
    if (fault.empty())
        fault = tail_fault(payload, payload_bytes);
    if (!fault.empty())
        throw Refusal(file, fault);
    return {visitor.entries(), visitor.content_bytes(), stream_bytes, std::move(visitor.headers())};
}

bool existing_file_is_up_to_date(const fs::path& path, uint64_t entry_size,
                                 uint32_t entry_checksum) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return payload_format::file_is_up_to_date(false, 0, 0, entry_size, entry_checksum);
    std::vector<char> chunk(1 << 16);
    StreamChecksum sum = checksum_stream(in, chunk);
    return payload_format::file_is_up_to_date(!sum.read_failed, sum.bytes,
                                              payload_format::stored_checksum(sum.crc32),
                                              entry_size, entry_checksum);
}

namespace {

class ExtractVisitor : public EntryVisitor {
  public:
    ExtractVisitor(const std::string& file, const fs::path& folder)
        : file_(file), folder_(folder, "cannot open the folder " + shown_path(folder)) {}

    void entry_begins(const EntryHeader& entry) override {
        place_.entry_begins(entry);
        crc_ = 0;
        std::string problem = entry_name_problem(entry.name);
        if (!problem.empty())
            throw Refusal(file_, place_.entry() + ": the name " + problem);
        if (summary_.main_name.empty())
            summary_.main_name = entry.name;
        std::u16string relative = entry.name;
        std::replace(relative.begin(), relative.end(), u'\\', u'/');
        fs::path relative_path = utf8_path(utf16_to_utf8(relative));
        // Every level below the folder is reached without following a link,
        // so no file lands outside it.
        OpenFolder parent = folder_.below(relative_path.parent_path());
        if (existing_file_is_up_to_date(parent.path() / relative_path.filename(), entry.size,
                                        entry.checksum)) {
            ++summary_.up_to_date;
            return;
        }
        temporary_.emplace(parent, relative_path.filename());
    }

    // Every entry's content is checked, also where the file on disk is up to
    // date: the payload is damaged all the same.
    void entry_content(const unsigned char* bytes, size_t size) override {
        crc_ = update_crc(crc_, bytes, size);
        if (temporary_)
            temporary_->out().write(reinterpret_cast<const char*>(bytes),
                                    static_cast<std::streamsize>(size));
    }

    void entry_ends(const EntryHeader& entry) override {
        place_.entry_ends();
        std::string fault = checksum_fault(place_, entry, crc_);
        if (!fault.empty())
            throw Refusal(file_, fault);
        if (!temporary_)
            return;
        temporary_->put_in_place();
        temporary_.reset();
        ++summary_.written;
    }

    const StreamPlace& place() const { return place_; }
    const ExtractSummary& summary() const { return summary_; }

  private:
    const std::string& file_;
    OpenFolder folder_;
    StreamPlace place_;
    uint32_t crc_ = 0;
    std::optional<TemporaryFile> temporary_;
    ExtractSummary summary_;
};

} // namespace

ExtractSummary extract_payload(const unsigned char* payload, uint64_t payload_bytes,
                               const std::string& file, const fs::path& folder) {
    fs::create_directories(folder);
    ExtractVisitor visitor(file, folder);
    PayloadReading reading(payload, payload_bytes);
    read_entry_stream(visitor, file, visitor.place());
    return visitor.summary();
}

} // namespace qarvel
