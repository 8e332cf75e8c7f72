// weekleaf-sync started with a certificate or key it cannot use: a message naming the file and
// what is wrong, exit status 1, and nothing created (no database, nothing listening).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "CommandRun.h"
#include "TempDir.h"
#include "sync/TestCertificates.h"

namespace wl {
namespace {

using TStart = test::TCommandRun;

TStart StartService(const std::string& db, const std::string& cert, const std::string& key) {
    const std::string command = "timeout 10 " WL_SYNC_SERVER_BIN " --listen 127.0.0.1:0 --db '" + db +
                                "' --tls-cert '" + cert + "' --tls-key '" + key + "' 2>&1";
    return test::RunCommand(command);
}

TEST(TlsStart, AnUnusableCertificateOrKeyStopsTheStart) {
    const test::TTestCertificates certs;
    const test::TTempDir dir;
    const std::string missing = dir.File("missing.pem"), folder = dir.File("folder"),
                      junk = dir.File("junk.pem");
    std::filesystem::create_directory(folder);
    std::ofstream(junk) << "not a certificate\n";
    const auto& good = certs.Good;
    const struct {
        const char* name;
        std::string cert, key, says;
    } cases[] = {
        {"missing certificate", missing, good.Key,
         "TLS certificate \"" + missing + "\": No such file or directory"},
        {"missing key", good.Cert, missing, "TLS key \"" + missing + "\": No such file or directory"},
        {"certificate is a folder", folder, good.Key, "TLS certificate \"" + folder + "\""},
        {"key is not PEM", good.Cert, junk, "TLS key \"" + junk + "\" cannot be used"},
        {"certificate is not PEM", junk, good.Key, "TLS certificate \"" + junk + "\" cannot be used"},
        {"key of another certificate", good.Cert, certs.Expired.Key,
         "TLS key \"" + certs.Expired.Key + "\" does not belong to the certificate \"" + good.Cert + "\""},
    };
    for (const auto& c : cases) {
        const std::string db = dir.File(std::string(c.name) + ".db");
        const TStart start = StartService(db, c.cert, c.key);
        EXPECT_EQ(start.status, 1) << c.name << ": " << start.output;
        EXPECT_NE(start.output.find("weekleaf-sync: " + c.says), std::string::npos)
            << c.name << ": " << start.output;
        EXPECT_EQ(start.output.find("listening"), std::string::npos) << c.name;
        EXPECT_FALSE(std::filesystem::exists(db)) << c.name;
    }
}

}  // namespace
}  // namespace wl
