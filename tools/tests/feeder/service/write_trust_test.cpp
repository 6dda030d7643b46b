// Who a service lets change what it trusts, on security descriptors built from
// SDDL and read the way the service reads a file's, and the fix it prints.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include "command_program.h"
#include "object_security.h"
#include "wide.h"
#include "write_trust.h"

namespace {

const char ADMIN_ONLY[] = "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)";
const char A_USER[] = "S-1-5-21-1-2-3-1001";
const char FOLDER[] = "C:\\ProgramData\\Zelmoor";

std::vector<UntrustedWriter> Writers(const std::string& sddl, const std::string& serviceSid = "")
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(Widen(sddl).c_str(), SDDL_REVISION_1,
                                                                     &descriptor, NULL)) << sddl;
    const std::vector<UntrustedWriter> writers = UntrustedWriters(DescribeSecurity(descriptor), serviceSid);
    LocalFree(descriptor);
    return writers;
}

std::string WriterSids(const std::vector<UntrustedWriter>& writers)
{
    std::string sids;
    for (const UntrustedWriter& writer : writers)
        sids += (sids.empty() ? "" : " ") + writer.sid + (writer.owner ? "(owner)" : "");
    return sids;
}

TEST(WriteTrust, OnlyAdministratorsSystemTrustedInstallerAndTheServicesOwnUserMayWrite)
{
    EXPECT_EQ(WriterSids(Writers(ADMIN_ONLY)), "");
    EXPECT_EQ(WriterSids(Writers("O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
                                 "D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)")), "");
    const std::string userWrites = std::string("O:BAD:(A;;FA;;;SY)(A;;FA;;;") + A_USER + ")";
    EXPECT_EQ(WriterSids(Writers(userWrites)), A_USER);
    EXPECT_EQ(WriterSids(Writers(userWrites, A_USER)), "") << "the service's own user";
    // A built-in service account is shared by many services: not trusted even as the service's own.
    EXPECT_EQ(WriterSids(Writers("O:BAD:(A;;FA;;;LS)", "S-1-5-19")), "S-1-5-19");
    EXPECT_EQ(WriterSids(Writers(std::string("O:") + A_USER + "D:(A;;FA;;;BA)")), std::string(A_USER) + "(owner)");
    EXPECT_EQ(WriterSids(Writers("O:BAD:(A;;FA;;;OW)")), "") << "OWNER RIGHTS are the owner's";
    // Built by hand: Wine reads SDDL's NO_ACCESS_CONTROL as an empty DACL, Windows as a NULL one.
    SECURITY_DESCRIPTOR nullDacl;
    InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&nullDacl, TRUE, NULL, FALSE);
    EXPECT_EQ(WriterSids(UntrustedWriters(DescribeSecurity(&nullDacl), "")), "S-1-1-0") << "a NULL DACL lets anyone in";
    EXPECT_EQ(WriterSids(Writers("O:BAD:(A;OICIIO;FA;;;WD)(D;;FA;;;AU)(A;;0x1200a9;;;WD)")), "")
        << "inherit-only and deny entries give this object no writer";
}

TEST(WriteTrust, EachWriteDeleteOrPermissionRightAloneMakesAWriter)
{
    for (const char* right : {"0x2", "0x4", "0x10", "0x40", "0x100", "SD", "WD", "WO", "GW", "GA"}) {
        const std::string sddl = std::string("O:BAD:(A;;0x1200a9;;;WD)(A;;") + right + ";;;BU)";
        EXPECT_EQ(WriterSids(Writers(sddl)), "S-1-5-32-545") << right;
    }
}

TEST(WriteTrust, TheFixGrantsAdministratorsAloneAndRemovesTheObjectsOwnEntries)
{
    const std::vector<UntrustedWriter> inherited = Writers("O:BAD:AI(A;ID;FA;;;WD)");
    EXPECT_EQ(TrustFix(FOLDER, true, TrustedUse::DATA, inherited, ""),
              std::string("To let only administrators change it, run from an administrator's command prompt: icacls \"")
                  + FOLDER + "\" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F");
    const std::string own = TrustFix("C:\\tools\\capture.exe", false, TrustedUse::PROGRAM,
                                     Writers(std::string("O:") + A_USER + "D:(A;;FA;;;WD)(A;;FA;;;BU)"), "");
    EXPECT_NE(own.find(std::string("icacls \"C:\\tools\\capture.exe\" /setowner *S-1-5-32-544 && icacls \"C:\\tools"
                                   "\\capture.exe\" /inheritance:r /grant:r *S-1-5-18:F *S-1-5-32-544:F"
                                   " *S-1-5-32-545:RX /remove:g *S-1-1-0")), std::string::npos) << own;
    EXPECT_EQ(own.find("/remove:g *S-1-5-32-545"), std::string::npos) << "users keep running the program: " << own;
    EXPECT_NE(TrustFix("C:\\tv", true, TrustedUse::DATA, inherited, A_USER).find(std::string(" *") + A_USER + ":(OI)(CI)M"),
              std::string::npos) << "the service's own user keeps writing its log";
    EXPECT_EQ(TrustFix("C:\\", true, TrustedUse::DATA, inherited, "").find("icacls"), std::string::npos);
    EXPECT_EQ(UntrustedMessage("the map file C:\\m.txt", Writers("O:BUD:(A;;FA;;;WD)"), {"BUILTIN\\Users", "Everyone"}, "Fix."),
              "the map file C:\\m.txt can be changed by BUILTIN\\Users (its owner) and Everyone, and a service trusts"
              " only what SYSTEM, Administrators, TrustedInstaller or its own account can change. Fix.");
}

TEST(WriteTrust, ACommandLinesProgramIsFoundAsTheSystemStartsIt)
{
    EXPECT_EQ(ProgramCandidates(" \"C:\\Program Files\\t\\cap\" --out x"),
              std::vector<std::string>({"C:\\Program Files\\t\\cap.exe"}));
    EXPECT_EQ(ProgramCandidates("C:\\Program Files\\cap.cmd  -a"),
              std::vector<std::string>({"C:\\Program.exe", "C:\\Program Files\\cap.cmd",
                                        "C:\\Program Files\\cap.cmd  -a"}));
}

} // namespace
