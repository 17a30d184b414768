#pragma once

// Whether a folder's or a file's owner and access list keep programs
// without administrator rights from changing what an elevated launcher
// runs. The decision reads the owner and each access entry itself: Wine's
// GetEffectiveRightsFromAclW is a stub, and the rules differ by level.

// Where a folder lies on the way from the drive to the target folder.
enum class FolderLevel {
    // The machine-wide folder of the template's first token and the levels
    // above it: others may add children, but must not delete or rename
    // them, nor change the folder's rights.
    enclosing,
    // Between that folder and the target: only administrators may change
    // anything.
    inner,
    // The target folder: as inner, and what its files and folders inherit
    // must not let others change them either.
    target,
};

enum class FolderVerdict {
    protected_folder,
    // Owned by someone other than Administrators, SYSTEM or TrustedInstaller.
    untrusted_owner,
    // Someone else may change it (or its access list could not be read).
    open_to_others,
};

// owner_sid and dacl as the system stores them (a SID, an ACL); a null
// dacl grants everyone everything, a null owner is no one's.
// creator_trusted: whether what the launcher creates is owned by a trusted
// owner (is_trusted_owner of its token's default owner); it decides whom
// the CREATOR OWNER and OWNER RIGHTS entries that the target passes on
// stand for.
FolderVerdict judge_folder(const void* owner_sid, const void* dacl, FolderLevel level,
                           bool creator_trusted);

// The same for a file below the target: a trusted owner, and no one else
// may write, append, change its attributes, delete it, or change its
// rights or owner.
FolderVerdict judge_file(const void* owner_sid, const void* dacl);

// Whether a SID is Administrators, SYSTEM or TrustedInstaller; false for
// null.
bool is_trusted_owner(const void* sid);

// The descriptor every folder an elevated launcher creates gets: owned by
// Administrators, nothing inherited from the parent, full access for
// Administrators and SYSTEM, read and execute for users, and the same for
// the owner whoever it becomes, for everything made inside it.
extern const wchar_t protected_folder_sddl[];

// The descriptor of a file an elevated launcher puts in place of one that
// is not protected: owned by Administrators, nothing inherited, full
// access for Administrators and SYSTEM, read and execute for users.
extern const wchar_t protected_file_sddl[];

// The descriptor of the cache lock file in such a folder: Administrators
// and SYSTEM alone, so that no one else can open it, hold its lock, and so
// keep elevated launches waiting.
extern const wchar_t protected_lock_file_sddl[];
