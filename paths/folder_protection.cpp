#include "paths/folder_protection.h"

#include <cstdint>
#include <cstring>
#include <windows.h>

namespace {

// Rights that change a folder's content, its name or its rights.
constexpr uint32_t change_rights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA |
                                   FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                   WRITE_OWNER;
// Above the levels the launcher may create, adding a child harms nothing;
// removing or renaming one, or taking the folder's rights, does.
constexpr uint32_t enclosing_change_rights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
// The same bits on a file write, append, change its attributes or extended
// attributes, delete it, or take its rights; deleting children means
// nothing there.
constexpr uint32_t file_change_rights = change_rights & ~FILE_DELETE_CHILD;

// The owner's rights when no OWNER RIGHTS entry replaces them ("Owner
// Rights" in the security identifiers' documentation).
constexpr uint32_t implicit_owner_rights = READ_CONTROL | WRITE_DAC;

// "File Security and Access Rights": how generic rights map for files.
uint32_t map_generic_rights(uint32_t mask) {
    uint32_t mapped =
        mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (mask & GENERIC_READ)
        mapped |= FILE_GENERIC_READ;
    if (mask & GENERIC_WRITE)
        mapped |= FILE_GENERIC_WRITE;
    if (mask & GENERIC_EXECUTE)
        mapped |= FILE_GENERIC_EXECUTE;
    if (mask & (GENERIC_ALL | MAXIMUM_ALLOWED))
        mapped |= FILE_ALL_ACCESS;
    return mapped;
}

// SIDs as stored: revision 1, the count of sub-authorities, a 6-byte
// authority, then the 32-bit little-endian sub-authorities.
const unsigned char everyone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
const unsigned char creator_owner[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};
const unsigned char owner_rights[] = {1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0};
const unsigned char local_system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const unsigned char administrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
// NT SERVICE\TrustedInstaller, S-1-5-80-956008885-3418522649-1831038044-
// 1853292631-2271478464, which owns the system's own folders.
const unsigned char trusted_installer[] = {
    1,    6,    0,    0,    0,    0,    0,    5,    80,   0,    0,    0,    0xb5, 0x89, 0xfb, 0x38,
    0x19, 0x84, 0xc2, 0xcb, 0x5c, 0x6c, 0x23, 0x6d, 0x57, 0x00, 0x77, 0x6e, 0xc0, 0x02, 0x64, 0x87};

constexpr size_t sid_header_bytes = 8;

// The SID's length when it lies whole within available bytes, else 0.
size_t sid_length(const unsigned char* sid, size_t available) {
    if (available < sid_header_bytes || sid[0] != 1)
        return 0;
    size_t length = sid_header_bytes + 4u * sid[1];
    return length <= available ? length : 0;
}

template <size_t N>
bool is_sid(const unsigned char* sid, size_t length, const unsigned char (&known)[N]) {
    return length == N && memcmp(sid, known, N) == 0;
}

bool is_trusted(const unsigned char* sid, size_t length) {
    return is_sid(sid, length, administrators) || is_sid(sid, length, local_system) ||
           is_sid(sid, length, trusted_installer);
}

uint16_t read_u16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t read_u32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// One access entry as read from the list.
struct Entry {
    unsigned char type;
    unsigned char flags;
    uint32_t rights;
    const unsigned char* sid;
    size_t sid_length;
};

constexpr size_t acl_header_bytes = 8;
constexpr size_t ace_header_bytes = 4;
constexpr size_t ace_mask_bytes = 4;

constexpr size_t entry_capacity = 1024;
Entry entry_buffer[entry_capacity];

// Reads every entry of the list into entries; false for a list that is
// malformed or holds more entries than fit.

bool read_entries(const unsigned char* acl, Entry* entries, size_t& count) {
    size_t acl_size = read_u16(acl + 2);
    size_t ace_count = read_u16(acl + 4);
    if (acl_size < acl_header_bytes || ace_count > entry_capacity)
        return false;
    size_t offset = acl_header_bytes;
    for (count = 0; count < ace_count; ++count) {
        if (acl_size - offset < ace_header_bytes)
            return false;
        const unsigned char* ace = acl + offset;
        size_t ace_size = read_u16(ace + 2);
        if (ace_size < ace_header_bytes + ace_mask_bytes || ace_size > acl_size - offset)
            return false;
        Entry& entry = entries[count];
        entry.type = ace[0];
        entry.flags = ace[1];
        entry.rights = map_generic_rights(read_u32(ace + ace_header_bytes));
        entry.sid = ace + ace_header_bytes + ace_mask_bytes;
        entry.sid_length = sid_length(entry.sid, ace_size - ace_header_bytes - ace_mask_bytes);
        offset += ace_size;
    }
    return true;
}

// What a judgement covers: the object's own rights, or what the files or
// the folders made below a folder inherit from it.
enum class Scope { own, files, folders };

// Entries that are not inherit-only make the object's own rights; files
// inherit object-inherit entries, and folders container-inherit ones. A
// subfolder keeps an object-inherit entry as inherit-only and passes it to
// its files, so such an entry reaches files at every depth, as a
// container-inherit one reaches folders.
bool in_scope(const Entry& entry, Scope scope) {
    switch (scope) {
    case Scope::own:
        return (entry.flags & INHERIT_ONLY_ACE) == 0;
    case Scope::files:
        return (entry.flags & OBJECT_INHERIT_ACE) != 0;
    case Scope::folders:
        return (entry.flags & CONTAINER_INHERIT_ACE) != 0;
    }
    return true;
}

// Whether an inherited entry reaches every level below: one marked
// no-propagate stops at the first. Read conservatively: such an allow
// counts as if it went deeper, while such a deny takes nothing from an
// allow that does go deeper, and such an OWNER RIGHTS entry leaves the
// owners deeper down their implicit rights.
bool reaches_every_level(const Entry& entry, Scope scope) {
    return scope == Scope::own || (entry.flags & NO_PROPAGATE_INHERIT_ACE) == 0;
}

// Whom an entry's trustee stands for, as far as the decision goes.
enum class Trustee { trusted, other };

// owner_trusted: for the own scope the object's owner, for inherited
// scopes the creator, who owns what is made below.
Trustee classify(const Entry& entry, Scope scope, bool owner_trusted) {
    if (is_trusted(entry.sid, entry.sid_length))
        return Trustee::trusted;
    // CREATOR OWNER becomes the creator in what inherits it; on the object
    // itself it matches no one.
    if (is_sid(entry.sid, entry.sid_length, creator_owner))
        return scope == Scope::own || owner_trusted ? Trustee::trusted : Trustee::other;
    if (is_sid(entry.sid, entry.sid_length, owner_rights))
        return owner_trusted ? Trustee::trusted : Trustee::other;
    return Trustee::other;
}

// Rights an earlier deny entry of the same scope takes from a later allow
// entry for sure: one for the same trustee or for Everyone, whom every
// token holds, that reaches wherever the allow entry does. A deny for
// another group may miss some of the allow entry's holders.
uint32_t denied_before(const Entry* entries, size_t index, Scope scope) {
    uint32_t denied = 0;
    const Entry& allow = entries[index];
    for (size_t i = 0; i < index; ++i) {
        const Entry& deny = entries[i];
        if (deny.type != ACCESS_DENIED_ACE_TYPE || !in_scope(deny, scope) || deny.sid_length == 0)
            continue;
        if (!reaches_every_level(deny, scope) && reaches_every_level(allow, scope))
            continue;
        bool same = deny.sid_length == allow.sid_length &&
                    memcmp(deny.sid, allow.sid, deny.sid_length) == 0;
        if (same || is_sid(deny.sid, deny.sid_length, everyone))
            denied |= deny.rights;
    }
    return denied;
}

// Whether anyone but the trusted may take forbidden rights in one scope.
FolderVerdict judge_scope(const Entry* entries, size_t count, Scope scope, bool owner_trusted,
                          uint32_t forbidden) {
    uint32_t others = 0;
    bool owner_rights_replaced = false;
    for (size_t i = 0; i < count; ++i) {
        const Entry& entry = entries[i];
        if (!in_scope(entry, scope))
            continue;
        if (entry.sid_length == 0)
            return FolderVerdict::open_to_others;
        if (is_sid(entry.sid, entry.sid_length, owner_rights) && reaches_every_level(entry, scope))
            owner_rights_replaced = true;
        // The conditional deny may not apply; the conditional allow may.
        if (entry.type == ACCESS_DENIED_ACE_TYPE || entry.type == ACCESS_DENIED_CALLBACK_ACE_TYPE)
            continue;
        if (entry.type != ACCESS_ALLOWED_ACE_TYPE && entry.type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
            return FolderVerdict::open_to_others;
        if (classify(entry, scope, owner_trusted) == Trustee::other)
            others |= entry.rights & ~denied_before(entries, i, scope);
    }
    // Another owner may always change the rights, unless an OWNER RIGHTS
    // entry takes that from it.
    if (!owner_trusted && !owner_rights_replaced && (implicit_owner_rights & forbidden))
        return scope == Scope::own ? FolderVerdict::untrusted_owner : FolderVerdict::open_to_others;
    if (others & forbidden)
        return FolderVerdict::open_to_others;
    return FolderVerdict::protected_folder;
}

} // namespace

const wchar_t protected_folder_sddl[] =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)(A;OICI;FRFX;;;OW)";

const wchar_t protected_file_sddl[] = L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FRFX;;;BU)";

const wchar_t protected_lock_file_sddl[] = L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";

bool is_trusted_owner(const void* sid) {
    const auto* owner = static_cast<const unsigned char*>(sid);
    size_t length = owner == nullptr ? 0 : sid_length(owner, sid_header_bytes + 4 * 15);
    return length != 0 && is_trusted(owner, length);
}

FolderVerdict judge_folder(const void* owner_sid, const void* dacl, FolderLevel level,
                           bool creator_trusted) {
    bool owner_trusted = is_trusted_owner(owner_sid);
    if (!owner_trusted && level != FolderLevel::enclosing)
        return FolderVerdict::untrusted_owner;
    size_t count = 0;
    if (dacl == nullptr ||
        !read_entries(static_cast<const unsigned char*>(dacl), entry_buffer, count))
        return FolderVerdict::open_to_others;

    uint32_t forbidden = level == FolderLevel::enclosing ? enclosing_change_rights : change_rights;
    FolderVerdict verdict = judge_scope(entry_buffer, count, Scope::own, owner_trusted, forbidden);
    if (verdict != FolderVerdict::protected_folder || level != FolderLevel::target)
        return verdict;
    verdict = judge_scope(entry_buffer, count, Scope::files, creator_trusted, file_change_rights);
    if (verdict != FolderVerdict::protected_folder)
        return verdict;
    return judge_scope(entry_buffer, count, Scope::folders, creator_trusted, change_rights);
}

FolderVerdict judge_file(const void* owner_sid, const void* dacl) {
    if (!is_trusted_owner(owner_sid))
        return FolderVerdict::untrusted_owner;
    size_t count = 0;
    if (dacl == nullptr ||
        !read_entries(static_cast<const unsigned char*>(dacl), entry_buffer, count))
        return FolderVerdict::open_to_others;
    return judge_scope(entry_buffer, count, Scope::own, true, file_change_rights);
}
