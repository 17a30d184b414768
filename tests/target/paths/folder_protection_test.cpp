// The decision an elevated launcher makes about each folder level and each
// file below the target, as data: descriptors in SDDL, each with its
// verdict. Wine neither keeps nor
// enforces descriptors, so what Windows does with them is not shown here;
// the descriptors below are those Windows gives its own folders, and ones
// a user or an installer could leave.
#include "paths/folder_protection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

#include <sddl.h>

namespace {

const wchar_t trusted_installer[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const wchar_t user[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

// Who owns what an elevated launcher creates: Administrators by default,
// the user under the "object creator" owner policy.
enum class Creator { administrators, standard_user };

struct Case {
    const char* what;
    std::wstring sddl;
    FolderLevel level;
    FolderVerdict verdict;
    Creator creator = Creator::administrators;
};

struct FileCase {
    const char* what;
    std::wstring sddl;
    FolderVerdict verdict;
};

std::wstring owned_by(const wchar_t* owner, const std::wstring& dacl) {
    return std::wstring(L"O:") + owner + L"D:" + dacl;
}

const char* name(FolderVerdict verdict) {
    switch (verdict) {
    case FolderVerdict::protected_folder:
        return "protected";
    case FolderVerdict::untrusted_owner:
        return "untrusted owner";
    case FolderVerdict::open_to_others:
        return "open to others";
    }
    return "?";
}

using Decision = std::function<FolderVerdict(const void* owner, const void* dacl)>;

// The verdict's name, or "unreadable" for a descriptor the system's SDDL
// reader refuses.
std::string judge(const std::wstring& sddl, const Decision& decide) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return "unreadable";
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    FolderVerdict verdict = decide(owner, present ? dacl : nullptr);
    LocalFree(descriptor);
    return name(verdict);
}

std::string judge(const std::wstring& sddl, FolderLevel level,
                  Creator creator = Creator::administrators) {
    return judge(sddl, [&](const void* owner, const void* dacl) {
        return judge_folder(owner, dacl, level, creator == Creator::administrators);
    });
}

constexpr auto enclosing = FolderLevel::enclosing;
constexpr auto inner = FolderLevel::inner;
constexpr auto target = FolderLevel::target;
constexpr auto passes = FolderVerdict::protected_folder;
constexpr auto owner_fails = FolderVerdict::untrusted_owner;
constexpr auto open = FolderVerdict::open_to_others;
constexpr auto by_user = Creator::standard_user;

// Windows 10's own folders, as icacls /save shows them.
const std::wstring drive_root = owned_by(
    trusted_installer, L"PAI(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                       L"(A;OICI;0x1200a9;;;BU)");
const std::wstring program_files = owned_by(
    trusted_installer,
    std::wstring(L"PAI(A;;FA;;;") + trusted_installer + L")(A;CIIO;GA;;;" + trusted_installer +
        L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
        L"(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)"
        L"(A;OICIIO;GXGR;;;AC)");
const std::wstring program_data =
    owned_by(L"SY", L"PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
                    L"(A;CI;DCLCRPCR;;;BU)");
// What a folder an administrator makes in C:\ProgramData inherits.
const std::wstring admin_made_in_program_data =
    owned_by(L"BA", L"AI(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)"
                    L"(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;DCLCRPCR;;;BU)");
// And what an administrator's folder in C:\Program Files inherits.
const std::wstring admin_made_in_program_files =
    owned_by(L"BA", std::wstring(L"AI(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)"
                                 L"(A;OICIIOID;GA;;;BA)(A;OICIID;0x1200a9;;;BU)"
                                 L"(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;AC)"
                                 L"(A;CIIOID;GA;;;") +
                        trusted_installer + L")");
// A folder in the user's profile, and the user's own folder in ProgramData.
const std::wstring local_app_data =
    owned_by(user, std::wstring(L"P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + user + L")");

TEST(FolderProtection, DescriptorsAndTheirVerdicts) {
    const Case cases[] = {
        // Above the target: others may add children, nothing more.
        {"C:\\", drive_root, enclosing, passes},
        {"C:\\Program Files", program_files, enclosing, passes},
        {"C:\\ProgramData", program_data, enclosing, passes},
        {"the user's local application data", local_app_data, enclosing, owner_fails},
        {"Wine's C:\\",
         owned_by(L"S-1-5-21-0-0-0-1000", L"(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)"
                                          L"(A;OICI;0x1200a9;;;WD)"),
         enclosing, owner_fails},
        {"another owner whose rights OWNER RIGHTS takes",
         owned_by(user, L"(A;;FA;;;BA)(A;;0x1200a9;;;OW)"), enclosing, passes},
        {"OWNER RIGHTS for another owner that may change rights",
         owned_by(user, L"(A;;FA;;;BA)(A;;0x1200a9;;;OW)(A;;WD;;;OW)"), enclosing, open},
        {"users may delete children", owned_by(L"SY", L"(A;;FA;;;SY)(A;;DT;;;BU)"), enclosing,
         open},
        {"users may delete the folder itself", owned_by(L"SY", L"(A;;FA;;;SY)(A;;SD;;;AU)"),
         enclosing, open},
        {"everyone may take ownership", owned_by(L"SY", L"(A;;FA;;;SY)(A;;WO;;;WD)"), enclosing,
         open},
        {"no access list at all", L"O:SY", enclosing, open},
        {"an empty access list", L"O:SYD:", enclosing, passes},

        // Between the machine-wide folder and the target: admins alone.
        {"C:\\Program Files itself", program_files, inner, passes},
        {"C:\\ProgramData itself: users add folders", program_data, inner, open},
        {"an administrator's folder in ProgramData", admin_made_in_program_data, inner, open},
        {"an administrator's folder in Program Files", admin_made_in_program_files, inner, passes},
        {"a folder a user made in ProgramData first",
         owned_by(user, std::wstring(L"(A;;FA;;;") + user + L")(A;;FA;;;BA)"), inner, owner_fails},
        {"owned by TrustedInstaller", owned_by(trusted_installer, L"P(A;;FA;;;SY)"), inner, passes},
        {"GENERIC_WRITE for users", owned_by(L"BA", L"(A;;FA;;;BA)(A;;GW;;;BU)"), inner, open},
        {"GENERIC_ALL for users", owned_by(L"BA", L"(A;;FA;;;BA)(A;;GA;;;BU)"), inner, open},
        {"GENERIC_READ and EXECUTE for users", owned_by(L"BA", L"(A;;FA;;;BA)(A;;GRGX;;;BU)"),
         inner, passes},
        {"users may only write attributes", owned_by(L"BA", L"(A;;FA;;;BA)(A;;0x100;;;BU)"), inner,
         open},
        {"inherit-only write for users does not reach the folder",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;OICIIO;FA;;;BU)"), inner, passes},
        {"CREATOR OWNER on the folder itself matches no one",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;;FA;;;CO)"), inner, passes},
        {"a deny for everyone before the allow",
         owned_by(L"BA", L"(D;;FA;;;WD)(A;;FA;;;BA)(A;;FA;;;BU)"), inner, passes},
        {"a deny for everyone after the allow comes too late",
         owned_by(L"BA", L"(A;;FA;;;BU)(D;;FA;;;WD)"), inner, open},
        {"a deny for the same group first",
         owned_by(L"BA", L"(D;;FW;;;BU)(D;;SDWDWODT;;;BU)(A;;FA;;;BU)"), inner, passes},
        {"a deny for another group does not cover all holders",
         owned_by(L"BA", L"(D;;FA;;;IU)(A;;FA;;;BU)"), inner, open},
        {"a deny that leaves delete", owned_by(L"BA", L"(D;;FW;;;WD)(A;;FA;;;BU)"), inner, open},
        {"a user's allow after admins",
         owned_by(L"BA", std::wstring(L"(A;;FA;;;BA)(A;;0x4;;;") + user + L")"), inner, open},

        // The target: what its files inherit counts as well.
        {"the launcher's own folders", protected_folder_sddl, target, passes},
        {"an administrator's folder in Program Files as the target", admin_made_in_program_files,
         target, passes},
        {"files inherit write for users", owned_by(L"BA", L"(A;;FA;;;BA)(A;OIIO;FW;;;BU)"), target,
         open},
        {"subfolders inherit full control for users",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;CIIO;FA;;;AU)"), target, open},
        {"files inherit OWNER RIGHTS with write, unpacked by administrators",
         owned_by(L"BA", L"(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)"), target, passes},

        // Each scope apart: the folder's own rights, what files inherit,
        // what subfolders inherit; a deny counts only in its own scope.
        {"a deny on what inherits does not cover the folder's own allow",
         L"O:BAD:P(D;OICIIO;0x116;;;WD)(A;OICI;FA;;;BA)(A;;0x116;;;BU)", target, open},
        {"a deny on the folder does not cover what files inherit",
         L"O:BAD:P(D;;WD;;;WD)(A;OICI;FA;;;BA)(A;OIIO;WD;;;BU)", target, open},
        {"a deny for subfolders does not cover files",
         L"O:BAD:P(D;CI;FW;;;WD)(A;OICI;FA;;;BA)(A;OICI;FW;;;BU)", target, open},
        {"a deny for files does not cover subfolders",
         L"O:BAD:P(A;OICI;FA;;;BA)(D;OIIO;FA;;;WD)(A;CIIO;FA;;;BU)", target, open},
        {"a deny for every scope before the allow",
         L"O:BAD:P(D;OICI;0x116;;;WD)(A;OICI;FA;;;BA)(A;OICI;0x116;;;BU)", target, passes},
        {"a deny that stops at the first level leaves deeper ones open",
         L"O:BAD:P(D;OICINP;FW;;;WD)(A;OICI;FA;;;BA)(A;OICI;FW;;;BU)", target, open},
        {"a deny and an allow that both stop at the first level",
         L"O:BAD:P(D;OICINP;FW;;;WD)(A;OICI;FA;;;BA)(A;OICINP;FW;;;BU)", target, passes},
        {"files may delete children, which means nothing on a file",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;OIIO;0x40;;;BU)", target, passes},
        {"subfolders may delete children", L"O:BAD:P(A;OICI;FA;;;BA)(A;CIIO;0x40;;;BU)", target,
         open},

        // What the target passes on is owned by its creator, whom CREATOR
        // OWNER and OWNER RIGHTS then stand for.
        {"an administrator's folder in Program Files, unpacked by a user",
         admin_made_in_program_files, target, open, by_user},
        {"CREATOR OWNER full control, unpacked by administrators",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;FRFX;;;BU)(A;OICI;FRFX;;;OW)", target,
         passes},
        {"CREATOR OWNER full control, unpacked by a user",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;FRFX;;;BU)(A;OICI;FRFX;;;OW)", target,
         open, by_user},
        {"the launcher's own folders, unpacked by a user", protected_folder_sddl, target, passes,
         by_user},
        {"files inherit OWNER RIGHTS with write, unpacked by a user",
         owned_by(L"BA", L"(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)"), target, open, by_user},
        {"no OWNER RIGHTS, unpacked by administrators",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)", target, passes},
        {"no OWNER RIGHTS: a user who owns what it unpacks may change its rights",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)", target, open, by_user},
        {"OWNER RIGHTS that stops at the first level, unpacked by a user",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;OICINP;FRFX;;;OW)", target, open, by_user},
        {"CREATOR OWNER on a folder between, unpacked by a user",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;;FA;;;CO)"), inner, passes, by_user},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judge(c.sddl, c.level, c.creator), name(c.verdict))
            << c.what << "\n  " << std::string(c.sddl.begin(), c.sddl.end());
    }
}

TEST(FolderProtection, TheLaunchersDescriptorIsProtectedAtEveryLevel) {
    // Nothing inherited from the parent, owned by Administrators, and
    // inheritable by what is made inside.
    std::wstring sddl = protected_folder_sddl;
    EXPECT_EQ(sddl.rfind(L"O:BAD:P(", 0), 0u) << "owner Administrators, protected from inheritance";
    for (FolderLevel level : {enclosing, inner, target})
        EXPECT_EQ(judge(sddl, level), "protected");
    EXPECT_EQ(judge(sddl, target, by_user), "protected") << "whoever owns what is unpacked";
    // Whoever comes to own a file made inside gets read and execute only.
    EXPECT_NE(sddl.find(L"(A;OICI;FRFX;;;OW)"), std::wstring::npos);
    EXPECT_EQ(judge(L"O:S-1-5-21-1-2-3-1001" + sddl.substr(4), inner), "untrusted owner");
}

// What a file made in the launcher's folder inherits.
const std::wstring made_in_protected_folder =
    L"AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)(A;ID;0x1200a9;;;OW)";

TEST(FolderProtection, FilesAndTheirVerdicts) {
    const FileCase cases[] = {
        {"the launcher's own files", protected_file_sddl, passes},
        {"the lock file", protected_lock_file_sddl, passes},
        {"a file made in the launcher's folder", owned_by(L"BA", made_in_protected_folder), passes},
        {"the same, made by a user's token", owned_by(user, made_in_protected_folder), owner_fails},
        {"a file made in an administrator's folder in Program Files",
         owned_by(L"BA", L"AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;ID;FA;;;BA)"
                         L"(A;ID;0x1200a9;;;AC)"),
         passes},
        {"a user's own file",
         owned_by(user, std::wstring(L"AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;FA;;;") + user + L")"),
         owner_fails},
        {"owned by TrustedInstaller, read for users",
         owned_by(trusted_installer, L"P(A;;FA;;;SY)(A;;FRFX;;;BU)"), passes},
        {"users may modify", owned_by(L"BA", L"(A;;FA;;;BA)(A;;0x1301bf;;;BU)"), open},
        {"users may change its rights", owned_by(L"BA", L"(A;;FA;;;BA)(A;;FRFX;;;BU)(A;;WD;;;BU)"),
         open},
        {"users may take ownership", owned_by(L"BA", L"(A;;FA;;;BA)(A;;WO;;;BU)"), open},
        {"users may delete it", owned_by(L"BA", L"(A;;FA;;;BA)(A;;SD;;;BU)"), open},
        {"users may append", owned_by(L"BA", L"(A;;FA;;;BA)(A;;0x4;;;BU)"), open},
        {"users may write extended attributes", owned_by(L"BA", L"(A;;FA;;;BA)(A;;0x10;;;BU)"),
         open},
        {"users may write attributes", owned_by(L"BA", L"(A;;FA;;;BA)(A;;0x100;;;BU)"), open},
        {"GENERIC_WRITE for users", owned_by(L"BA", L"(A;;FA;;;BA)(A;;GW;;;BU)"), open},
        {"delete children means nothing on a file",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;;0x1200e9;;;BU)"), passes},
        {"an inherit-only entry does nothing on a file",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;OIIO;FA;;;BU)"), passes},
        {"CREATOR OWNER on a file matches no one", owned_by(L"BA", L"(A;;FA;;;BA)(A;;FA;;;CO)"),
         passes},
        {"a deny for everyone's writing before users' write",
         owned_by(L"BA", L"(D;;FW;;;WD)(A;;FA;;;BA)(A;;FW;;;BU)"), passes},
        {"a deny for everyone after the allow comes too late",
         owned_by(L"BA", L"(A;;FA;;;BA)(A;;FW;;;BU)(D;;FW;;;WD)"), open},
        {"a deny for another group does not cover all holders",
         owned_by(L"BA", L"(D;;FW;;;IU)(A;;FA;;;BA)(A;;FW;;;BU)"), open},
        {"no access list at all", L"O:BA", open},
        {"an empty access list", L"O:BAD:", passes},
    };
    for (const FileCase& c : cases) {
        EXPECT_EQ(judge(c.sddl, judge_file), name(c.verdict))
            << c.what << "\n  " << std::string(c.sddl.begin(), c.sddl.end());
    }
}

TEST(FolderProtection, TheLaunchersFileDescriptorIsProtected) {
    std::wstring sddl = protected_file_sddl;
    EXPECT_EQ(sddl.rfind(L"O:BAD:P(", 0), 0u) << "owner Administrators, protected from inheritance";
    EXPECT_EQ(judge(sddl, judge_file), "protected");
    EXPECT_EQ(judge(L"O:S-1-5-21-1-2-3-1001" + sddl.substr(4), judge_file), "untrusted owner");
}

TEST(FolderProtection, TrustedOwners) {
    struct OwnerCase {
        std::wstring sid;
        bool trusted;
    };
    const OwnerCase cases[] = {
        {L"BA", true},
        {L"SY", true},
        {trusted_installer, true},
        {user, false},
        {L"BU", false},
        {L"WD", false},
        {L"CO", false},
        {L"OW", false},
        // Administrators with one sub-authority more.
        {L"S-1-5-32-544-1", false},
    };
    for (const OwnerCase& c : cases) {
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(c.sid.c_str(), &sid));
        EXPECT_EQ(is_trusted_owner(sid), c.trusted) << std::string(c.sid.begin(), c.sid.end());
        LocalFree(sid);
    }
    EXPECT_FALSE(is_trusted_owner(nullptr));
}

TEST(FolderProtection, TheLockFileOpensToAdministratorsAndSystemAlone) {
    // Read access would be enough for another user to hold the lock.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        protected_lock_file_sddl, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited from the folder";
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    unsigned char administrators[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    size = sizeof system;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
    EXPECT_GT(dacl->AceCount, 0);
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&entry)));
        EXPECT_EQ(entry->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        PSID trustee = &entry->SidStart;
        EXPECT_TRUE(EqualSid(trustee, administrators) || EqualSid(trustee, system))
            << "entry " << i << " grants someone else";
    }
    LocalFree(descriptor);
}

// An access list of one entry, byte by byte: Wine's SDDL reader knows no
// conditional entries.
std::vector<unsigned char> one_entry_list(unsigned char type, unsigned char entry_size) {
    // ACL: revision, size 28, one entry; the entry: type, flags, size, full
    // access, then Everyone (S-1-1-0).
    return {ACL_REVISION, 0,    28, 0, 1, 0, 0, 0, type, 0, entry_size, 0, 0xff, 0x01,
            0x1f,         0x00, 1,  1, 0, 0, 0, 0, 0,    1, 0,          0, 0,    0};
}

TEST(FolderProtection, EntriesThatMayGrantAreCounted) {
    const unsigned char administrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    struct RawCase {
        const char* what;
        std::vector<unsigned char> acl;
        FolderVerdict verdict;
    };
    const RawCase cases[] = {
        {"a plain allow for everyone", one_entry_list(ACCESS_ALLOWED_ACE_TYPE, 20), open},
        {"a conditional allow, which may apply",
         one_entry_list(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, 20), open},
        {"a conditional deny alone", one_entry_list(ACCESS_DENIED_CALLBACK_ACE_TYPE, 20), passes},
        {"an entry of a kind files do not use", one_entry_list(ACCESS_ALLOWED_OBJECT_ACE_TYPE, 20),
         open},
        {"an entry longer than the list", one_entry_list(ACCESS_DENIED_ACE_TYPE, 60), open},
        {"an entry too short for its SID", one_entry_list(ACCESS_DENIED_ACE_TYPE, 12), open},
    };
    for (const RawCase& c : cases) {
        EXPECT_STREQ(name(judge_folder(administrators, c.acl.data(), FolderLevel::inner, true)),
                     name(c.verdict))
            << c.what;
        EXPECT_STREQ(name(judge_file(administrators, c.acl.data())), name(c.verdict)) << c.what;
    }
}

} // namespace
